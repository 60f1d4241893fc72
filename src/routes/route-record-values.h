#pragma once
// Pieces shared by the two routes' records in the game folder
// ("qv-dlssg-route.json", "qv-dlss5-route.json"): reading a member back,
// writing a value so that the record always stays valid JSON, and the line
// that lists one of the route's files with its size and SHA-256.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/file-hash.h"
#include "foundation/file-system-view.h"
#include "foundation/json.h"

namespace qv::setup {

// The size recorded for a regular file whose size cannot be read: all 64 bits
// set (the records are unsigned; -1 would not read back).
inline constexpr std::uint64_t kUnreadableRouteFileSize = ~std::uint64_t{0};

// The text of the member stored under exactly `key`: a string's decoded
// content or a bare token as written (a number, true, false, null). Empty when
// the member is absent, an object, or an array with items (an empty array is
// a token-less value whose text is empty too), and for a non-object.
std::string JsonStringMember(const JsonValue& object, std::string_view key);

// `text` between double quotes with '"', '\' and every control character
// escaped ("\n", "\t", else "\u00XX"), so that any value (a tool's texts, a
// file name) reads back unchanged. Other bytes pass as they are.
std::string JsonQuoted(std::string_view text);

// What a route records of one of its files.
struct RouteFileFacts {
  std::uint64_t size = 0;  // 0: missing, a link or junction, a folder, or not a name inside the game folder
  std::string sha256;      // empty when the file could not be hashed
};

// True when `name` (UTF-8, '/' or '\' separators) stays inside the folder it
// is joined under: not empty, no root, drive or stream, no "." or ".."
// element, no device name, valid UTF-8. A trailing separator is allowed
// ("dlssg_sm86/" names that folder).
bool IsRouteFileNameInside(std::string_view name);

// Size and SHA-256 of `game_folder` joined with `name`. Only a regular file
// inside the game folder (IsRouteFileNameInside), found by the folder's own
// listing and not a link or junction, is measured and hashed; anything else
// gives size 0 and no digest, as a missing file does, so a record can never
// make a route read outside the game folder or open a device or pipe. A
// regular file whose size the listing cannot give gets
// kUnreadableRouteFileSize. A failure of `hasher` leaves the digest empty.
RouteFileFacts ReadRouteFileFacts(const std::filesystem::path& game_folder, std::string_view name,
                                  const FileHasher& hasher = HashFile, const FileSystemView& view = SystemView());

// One entry of a record's "files" array, as both records lay it out:
//   {"name": "<name>", "size": <size>, "sha256": "<digest>"}
// indented by four blanks, values escaped, without a comma or line end.
std::string RouteFileEntryLine(std::string_view name, const RouteFileFacts& facts);

}  // namespace qv::setup
