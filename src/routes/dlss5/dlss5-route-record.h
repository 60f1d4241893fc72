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

#include "foundation/files/file-system-view.h"
#include "foundation/text/json.h"
#include "routes/route-record-values.h"
#include "routes/route-window.h"

namespace qv::setup {

inline constexpr std::wstring_view kDlss5RouteRecordName = L"qv-dlss5-route.json";

// Writes the record after a successful install. Nothing is written or logged
// when game\"dlss5-autopilot.json" is missing, larger than 1 MiB, not JSON or
// not an object (an earlier record then stays). Logs "components: ..." and
// one "  file ..." line per named file.
void WriteDlss5RouteRecord(const win_route::State& state, const std::string& reshade_sha256,
                           const FileSystemView& view = SystemView());

// The record's "qv_reshade_sha256", or "" when there is no readable record.
std::string ReadRecordedReShadeHash(const win_route::State& state);

}  // namespace qv::setup
