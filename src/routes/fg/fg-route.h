#pragma once
// The frame-generation unlock route ("fg"): puts the outside unlock package
// (a zip that something outside this program placed, with its note
// "tool-source.txt", in <game>\data\dlssg-unlock) into the game folder, takes
// it out again, or both in turn. One operation checks the zip's SHA-256,
// unpacks it with the system's "tar.exe", puts the proxy DLL down under one
// of three names (moving another program's DLL of that name aside, and back
// on removal), writes the record "qv-dlssg-route.json", and leaves
// "fg-route-result.txt" in the work folder for the game to read. Every step
// goes to the game's updater log as "fg route: ...".

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/files/file-system-view.h"
#include "foundation/files/rename-item.h"
#include "routes/route-kinds.h"
#include "routes/route-queue-args.h"
#include "routes/route-queue-run.h"
#include "routes/single-route-args.h"
#include "update/updater/game-wait.h"

namespace qv::setup {

// Names in the game folder.
inline constexpr std::wstring_view kFgRuntimeFolderName = L"dlssg_sm86";
inline constexpr std::wstring_view kFgSettingsFileName = L"dlssg_sm86.ini";
inline constexpr std::wstring_view kFgBackupSuffix = L".qv-fg-backup";
// Names in the work folder.
inline constexpr std::wstring_view kFgPackageManifestName = L"manifest.json";
inline constexpr std::wstring_view kFgProxyFolderName = L"proxy";
inline constexpr std::wstring_view kFgTarLogName = L"tar.log";
inline constexpr std::wstring_view kFgToolSourceName = L"tool-source.txt";

// One operation's input.
struct FgRouteState {
  bool remove = false;     // the action is "remove"
  bool reinstall = false;  // the action is "reinstall" (neither: "install")
  std::filesystem::path game_folder;
  std::filesystem::path work_folder;  // always <game>\data\dlssg-unlock
  std::uint64_t game_process_id = 0;  // 0: none
  int language = 0;
  std::vector<std::wstring> relaunch_arguments;
};

// What tests change; production keeps the defaults.
struct FgRouteServices {
  std::chrono::milliseconds game_wait = kGameCloseWait;
  // How long the failure notice stays in the window.
  std::chrono::milliseconds failure_pause{3000};
  // How links and junctions are told apart (Wine cannot create either).
  FileSystemView view = SystemView();
  // How the proxy DLL is copied into the game folder; empty: the system's copy.
  FileCopier copy_file;
};

// "install", "remove" or "reinstall".
RouteAction FgRouteAction(const FgRouteState& state);

// A queue item's state: the action's flags, the game folder, the queue's
// frame-generation work folder, process id and language; no relaunch arguments.
FgRouteState MakeFgRouteState(const route_queue_win::Args& args, RouteAction action);
// The single route's state: every field of its command line.
FgRouteState MakeFgRouteState(const fg_route::Args& args);

// One operation with its status text (key 20, 21 or 22), result file (the
// earlier run's is deleted before anything else) and log
// line "<action> exit <code>: <detail>"; a failure shows key 26 for the
// failure pause (key 27 when the game still runs, which is then not started
// again). Waits for the game first only when `wait` is set (the queue
// has waited once for all its items). Returns the exit code: 0 or -1.
int RunFgRouteStep(const FgRouteState& state, bool wait, const RouteProgress& progress,
                   const FgRouteServices& services = {});

// The operation proper; `detail` receives its one-line English outcome.
int RunFgRouteOperation(const FgRouteState& state, std::string& detail, bool wait,
                        const FgRouteServices& services = {});

// Replaces "fg-route-result.txt" in the work folder: "kind <action>",
// "exit <code>", "detail <detail>", each ending in "\n".
void WriteFgRouteResult(const FgRouteState& state, int exit_code, const std::string& detail);

// Appends "fg route: " + text to the game's updater log (only into a real
// "data" folder).
void LogFgRoute(const std::filesystem::path& game_folder, std::string_view text,
                const FileSystemView& view = SystemView());

}  // namespace qv::setup
