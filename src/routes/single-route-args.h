#pragma once
// The single-route command lines:
//   "--dlss5-route" <install|remove|reinstall> <game folder> --work <folder>
//                   [--lang <n>] [--pid <id>] [-- <game arguments>...]
//   "--fg-route"    (the same)

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "update/updater/route-work-folders.h"

namespace qv::setup {

struct SingleRouteArgs {
  bool remove = false;     // the action word was "remove"
  bool reinstall = false;  // the action word was "reinstall" (neither: "install")
  std::filesystem::path game_folder;  // absolute and normal
  std::filesystem::path work_folder;  // absolute and normal; the route's own default
  std::uint64_t game_process_id = 0;  // 0: none
  int language = 0;                   // 0 to 13
  std::vector<std::wstring> relaunch_arguments;  // everything after "--"
  bool valid = false;  // the command line is this role's and passed its checks
};

using Dlss5RouteArgs = SingleRouteArgs;
namespace fg_route {
using Args = SingleRouteArgs;
}

// Not this role's (valid false): fewer than 4 arguments, argv[1] other than
// exactly the role word, an action word other than exactly "install",
// "remove" or "reinstall", a game folder or "--work" folder that is missing,
// empty or cannot be made absolute, or a work folder other than
// <game>\data\dlss5-unlock (DLSS 5) or <game>\data\dlssg-unlock (frame
// generation), letter case included.
Dlss5RouteArgs ParseDlss5RouteArgs(int argc, const wchar_t* const* argv,
                                   AbsoluteFolder absolute = &NormalAbsolutePath);
fg_route::Args ParseFgRouteArgs(int argc, const wchar_t* const* argv, AbsoluteFolder absolute = &NormalAbsolutePath);

}  // namespace qv::setup
