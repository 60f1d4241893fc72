#include "routes/single-route-args.h"

#include <optional>
#include <string_view>

#include "routes/route-options.h"
#include "update/updater/route-work-folders.h"

namespace qv::setup {
namespace {

using DefaultWorkFolder = std::filesystem::path (*)(const std::filesystem::path& game_folder);

SingleRouteArgs ParseSingleRouteArgs(int argc, const wchar_t* const* argv, std::wstring_view role_word,
                                     DefaultWorkFolder default_work_folder, AbsoluteFolder absolute) {
  SingleRouteArgs args;
  if (argc < 4 || std::wstring_view(argv[1]) != role_word) return args;
  const std::wstring_view action = argv[2];
  if (action != L"install" && action != L"remove" && action != L"reinstall") return args;
  args.remove = action == L"remove";
  args.reinstall = action == L"reinstall";
  std::optional<std::filesystem::path> game_folder = FolderArgument(argv[3], absolute);
  if (!game_folder) return args;
  args.game_folder = *game_folder;

  std::wstring_view work_text;
  ReadRouteOptions(argc, argv, 4, args.game_process_id, args.language, args.relaunch_arguments,
                   [&](std::wstring_view option, std::wstring_view value) {
                     if (option != L"--work") return false;
                     work_text = value;
                     return true;
                   });

  std::optional<std::filesystem::path> work_folder = FolderArgument(work_text, absolute);
  if (!work_folder || !IsSameWorkFolder(*work_folder, default_work_folder(args.game_folder))) return args;
  args.work_folder = *work_folder;
  args.valid = true;
  return args;
}

}  // namespace

Dlss5RouteArgs ParseDlss5RouteArgs(int argc, const wchar_t* const* argv, AbsoluteFolder absolute) {
  return ParseSingleRouteArgs(argc, argv, L"--dlss5-route", &DefaultDlss5WorkFolder, absolute);
}

fg_route::Args ParseFgRouteArgs(int argc, const wchar_t* const* argv, AbsoluteFolder absolute) {
  return ParseSingleRouteArgs(argc, argv, L"--fg-route", &DefaultFgWorkFolder, absolute);
}

}  // namespace qv::setup
