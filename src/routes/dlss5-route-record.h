#pragma once
// The DLSS 5 route's record "qv-dlss5-route.json" in the game folder: which
// tool release made the change, what the tool says it installed, the SHA-256
// of the port's ReShade put down as "dxgi.dll", and the size and SHA-256 of
// every file the tool names. Written after a successful install from the
// tool's own "dlss5-autopilot.json"; read back on removal for the ReShade's
// SHA-256, then deleted. Every text value is JSON-escaped, so the record
// always parses and reads back to the texts the tool gave.
//
// Layout (LF line ends, members always in this order):
//   {
//     "format": 1,
//     "tool": "DLSS5-Autopilot",
//     "tool_source": "<line 1 of tool-source.txt, or pinned>",
//     "tool_tag": "<line 2 of tool-source.txt, or v2.0.8>",
//     "route": "<the tool's path>",
//     "qv_reshade_sha256": "<hex or empty>",
//     "components": {"reshade": "..", "renodx": "..", "dlssnr": ".."},
//     "files": [
//       {"name": "..", "size": N, "sha256": ".."},
//       ...
//     ]
//   }

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/file-system-view.h"
#include "foundation/json.h"
#include "routes/route-window.h"

namespace qv::setup {

inline constexpr std::wstring_view kDlss5RouteRecordName = L"qv-dlss5-route.json";

// The size recorded for a plain file whose size cannot be read.
inline constexpr std::uint64_t kUnknownFileSize = ~std::uint64_t{0};

// The member's text when it exists and is a string or a bare token (a number,
// true, false, null); "" when it is missing, an object or an array with items.
std::string JsonStringMember(const JsonValue& object, std::string_view key);

// What the record says about one file the tool names.
struct RecordedToolFile {
  std::uint64_t size = 0;  // 0 unless a plain file; kUnknownFileSize when its size cannot be read
  std::string sha256;      // empty unless a plain file that could be hashed
};

// Looks at game\`name` only when the name stays inside the game folder by the
// payload-path rule (relative, no "." or ".." element, no drive, stream or
// device name) and the item is a plain file (no link, junction or folder):
// anything else is never opened, so a name cannot make the route read
// elsewhere or block on a pipe or device. Other names give size 0 and no digest.
RecordedToolFile ProbeToolFile(const std::filesystem::path& game_folder, const std::string& name,
                               const FileSystemView& view = SystemView());

// Writes the record after a successful install. Nothing is written or logged
// when game\"dlss5-autopilot.json" is missing, larger than 1 MiB, not JSON or
// not an object (an earlier record then stays). Logs "components: ..." and
// one "  file ..." line per named file.
void WriteDlss5RouteRecord(const win_route::State& state, const std::string& reshade_sha256,
                           const FileSystemView& view = SystemView());

// The record's "qv_reshade_sha256", or "" when there is no readable record.
std::string ReadRecordedReShadeHash(const win_route::State& state);

}  // namespace qv::setup
