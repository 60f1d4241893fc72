#pragma once
// Small synthetic stand-ins for the player's game files: archives that pass the
// archive tests, a path-ID list, PNG pictures, and a whole dumped game folder
// as the game-source resolution accepts it.

#include <cstddef>
#include <filesystem>
#include <string>

namespace qv::setup {

// "PSAR" followed by filler: passes the chunk-archive test.
std::string PsarcBytes(std::size_t size = 48);
// `size` bytes whose last 36 bytes carry 'a', 'q' at 22 and 23 (size >= 36).
std::string QarBytes(std::size_t size = 64);
// A path-ID list of at least 32 bytes, with the game's level marker when asked.
std::string PathIdListBytes(bool game_levels);
// The PNG signature followed by `tag`.
std::string PngBytes(const std::string& tag);

// Writes "chunk1.psarc", "texture.qar" and, when asked, a path-ID list with the
// game's levels into `folder`.
void WriteGameArchives(const std::filesystem::path& folder, bool with_list = true);

// A dumped game folder of the release `title_id`: its archives with the
// path-ID list, and in "sce_sys" a "param.sfo" naming the title, the title
// picture "pic1.png" (PngBytes("pic1 " + title_id)) and the icon "icon0.png"
// (PngBytes("icon0 " + title_id)).
void WriteDumpedGame(const std::filesystem::path& folder, const std::string& title_id = "CUSA09901");

}  // namespace qv::setup
