#pragma once
// Small synthetic game material for the game-source tests: archive stand-ins,
// path-ID lists, PNG pictures, console packages and param.sfo images.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// "PSAR" followed by filler: passes the chunk-archive test.
std::string PsarcBytes(size_t size = 48);
// `size` bytes whose last 36 bytes carry 'a', 'q' at 22 and 23 (size >= 36).
std::string QarBytes(size_t size = 64);
// A path-ID list of at least 32 bytes, with the game's level marker when asked.
std::string PathIdListBytes(bool game_levels);
// The PNG signature followed by `tag`.
std::string PngBytes(const std::string& tag);

// One entry of a synthetic console package.
struct PkgPart {
  std::uint32_t id = 0x1000;
  std::uint32_t flags = 0;
  std::string name;  // in the names table
  std::string data;
};

// A package with the names table entry (id 0x200) first, then `parts` in order;
// `title_id` (9 bytes) at 0x47 when non-empty.
std::string BuildPkgImage(const std::vector<PkgPart>& parts, const std::string& title_id = "");

// A hand-built param.sfo with the given key/value pairs, written field by field.
std::string HandBuiltParamSfo(const std::vector<std::pair<std::string, std::string>>& pairs);

// The names of `folder`'s entries in the order the file system lists them.
std::vector<std::wstring> ListedNames(const std::filesystem::path& folder);

// Makes `path` a file of `size` bytes without writing them (the file is
// extended by setting its end).
void WriteSizedFile(const std::filesystem::path& path, std::uint64_t size);

// Writes "chunk1.psarc", "texture.qar" and, when asked, a path-ID list with the
// game's levels into `folder`.
void WriteGameArchives(const std::filesystem::path& folder, bool with_list = true);

}  // namespace qv::test
