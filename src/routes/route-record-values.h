#pragma once
// Pieces shared by the two routes' records in the game folder
// ("qv-dlssg-route.json", "qv-dlss5-route.json"): reading a member back, and
// what a record lists of one of the route's files (its size and SHA-256, and
// the entry line of the "files" array). Values are written with JsonQuoted
// (foundation/text/json-write.h), so a record always stays valid JSON.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/files/file-system-view.h"
#include "foundation/text/json.h"

namespace qv::setup {

// The member's text when it exists and is a string or a bare token (a number,
// true, false, null); "" when it is missing, an object or an array with items.
std::string JsonStringMember(const JsonValue& object, std::string_view key);

// The size recorded for a plain file whose size cannot be read: all 64 bits
// set (the records are unsigned; -1 would not read back).
inline constexpr std::uint64_t kUnknownFileSize = ~std::uint64_t{0};

// What a record says about one file a route or its tool put down.
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

// True when `name` (UTF-8, '/' or '\' separators) stays inside the folder it
// is joined under: not empty, no root, drive or stream, no "." or ".."
// element, no device name, valid UTF-8. A trailing separator is allowed
// ("dlssg_sm86/" names that folder).
bool IsRouteFileNameInside(std::string_view name);

// One entry of a record's "files" array, as both records lay it out:
//   {"name": "<name>", "size": <size>, "sha256": "<digest>"}
// indented by four blanks, values escaped, without a comma or line end.
std::string RouteFileEntryLine(std::string_view name, const RecordedToolFile& file);

}  // namespace qv::setup
