#pragma once
// The route queue's command line:
//   "--route-queue" <game folder> [--ops <list>] [--pid <id>] [--lang <n>]
//                  [--nr-work <folder>] [--fg-work <folder>] [-- <game arguments>...]

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/files/file-system-view.h"
#include "foundation/files/paths.h"
#include "routes/route-kinds.h"
#include "update/updater/route-work-folders.h"

namespace qv::setup {

namespace route_queue_win {

struct Args {
  std::filesystem::path game_folder;         // absolute and normal
  std::filesystem::path dlss5_work_folder;   // always <game>\data\dlss5-unlock
  std::filesystem::path fg_work_folder;      // always <game>\data\dlssg-unlock
  std::uint64_t game_process_id = 0;         // 0: none
  int language = 0;                          // 0 to 13
  std::vector<RouteQueueItem> operations;    // merged, at most one per route
  std::vector<std::wstring> relaunch_arguments;  // everything after "--"
  bool valid = false;                        // the command line is this role's
};

}  // namespace route_queue_win

// Reads a route-queue command line (argv[0] is the program). Not this role's
// (valid false): fewer than 4 arguments, argv[1] other than exactly
// "--route-queue", or a game folder or given work folder that is empty or
// cannot be made absolute. A list that cannot be parsed is logged and keeps the
// items before the bad one; an item whose given work folder is not the route's
// own default is logged and left out. Both go to the game's updater log
// through `view` and leave the command line valid.
route_queue_win::Args ParseRouteQueueArgs(int argc, const wchar_t* const* argv,
                                          const FileSystemView& view = SystemView(),
                                          AbsoluteFolder absolute = &NormalAbsolutePath);

}  // namespace qv::setup
