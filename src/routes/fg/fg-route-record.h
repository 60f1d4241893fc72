#pragma once
// The frame-generation unlock's record "qv-dlssg-route.json"
// (kFrameGenRouteRecordName) in the game
// folder: which tool was put down, from which source and tag, its runtime,
// the proxy DLL's name and every file of the unlock with its size and
// SHA-256. The route reads the proxy name back to keep it on a later install;
// the install engine keeps the files it lists (CollectFrameGenRouteFiles).
// Layout, "\n" line ends, values escaped so that the record is always JSON:
//   {
//     "format": 1,
//     "complete": true,
//     "tool": "dlssg_for_sm86",
//     "tool_source": "<source>",
//     "tool_tag": "<tag>",
//     "runtime": "<runtime>",
//     "proxy": "<proxy name>",
//     "files": [
//       {"name": "<name>", "size": <size>, "sha256": "<digest>"},   (one per file, "," on all but the last)
//     ]
//   }

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/route-files.h"
#include "foundation/files/file-system-view.h"
#include "routes/fg/fg-package.h"
#include "routes/fg/fg-route.h"
#include "routes/route-record-values.h"

namespace qv::setup {

// What the install's closing log line and detail name.
struct FgRecordSummary {
  std::string source;
  std::string tag;
  std::size_t file_count = 0;  // 2 (proxy and settings file) + the runtime's listed files
};

// Appends the entry line of `name` (size and digest of game\name), "," and
// "\n" to `out`; returns what it recorded.
RecordedToolFile WriteRouteFileEntry(const std::filesystem::path& game_folder, std::string& out,
                                     std::string_view name, const FileSystemView& view = SystemView());

// Writes the record after a successful install: the proxy, "dlssg_sm86.ini",
// then each package manifest entry whose path begins with "dlssg_sm86/" and
// stays inside the game folder, in manifest order. An entry whose file's
// digest differs from the package's is logged as a WARNING and listed all the
// same. A record that cannot be written is skipped: the unlock is in place
// and works without it.
FgRecordSummary WriteFgRouteRecord(const FgRouteState& state, const std::string& proxy_name,
                                   const FgPackageManifest& manifest, const FileSystemView& view = SystemView());

// The "proxy" of the game folder's record: "version.dll", "winmm.dll" or
// "dbghelp.dll", or empty when there is no readable record (at most 1 MiB,
// one JSON object) or it names anything else, since whatever it names is
// deleted and replaced in the game folder.
std::string RecordedProxyName(const std::filesystem::path& game_folder);

}  // namespace qv::setup
