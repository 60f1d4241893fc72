#pragma once
// The user's game as the setup resolved it: a console package file, or a dumped
// game folder with its three game files.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

enum class GameSourceKind : std::int32_t {
  Pkg = 0,     // a console package file
  Folder = 1,  // a dumped game folder
};

struct GameFiles {
  std::filesystem::path chunk;         // chunk archive; empty when absent
  std::filesystem::path texture;       // texture archive; empty when absent
  std::filesystem::path path_id_list;  // path-ID list; empty when absent
  std::string title_id;                // e.g. CUSA09901, or empty
  std::string content_id;              // as read from param.sfo, or empty
  // Shown to the user and recorded: rename notes first, release notes after them.
  std::vector<std::string> notes;
};

struct GameSource {
  GameSourceKind kind = GameSourceKind::Pkg;
  // Pkg: the package file; Folder: the folder that directly holds the archives.
  std::filesystem::path path;
  GameFiles files;  // all empty for Pkg
};

// The names the three game files are installed under, in the order chunk,
// texture, path-ID list.
inline constexpr std::array<std::string_view, 3> GameArchiveNames{"chunk1.psarc", "texture.qar",
                                                                   "pathid_list_ps4.bin"};

// The first four bytes of a console package.
inline constexpr std::string_view kPackageMagic{"\x7F" "CNT", 4};

}  // namespace qv::setup
