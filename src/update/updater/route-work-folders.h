#pragma once
// Folders on the route command lines. What the outside caller places for a
// route (its tool, "tool-source.txt") lies in a work folder under the game's
// "data" folder, and a route accepts no other work folder, so a command line
// cannot point it at foreign files.

#include <filesystem>
#include <optional>
#include <string_view>

namespace qv::setup {

// How a folder argument is made absolute and normal: NormalAbsolutePath, which
// raises std::filesystem::filesystem_error when the system refuses the text.
using AbsoluteFolder = std::filesystem::path (*)(const std::filesystem::path& folder);

// A folder argument made absolute and normal; nothing for an empty text or one
// the system cannot make absolute. An empty game folder would make every route
// path relative to whatever the current folder is.
std::optional<std::filesystem::path> FolderArgument(std::wstring_view text, AbsoluteFolder absolute);

// <game>\data\dlss5-unlock and <game>\data\dlssg-unlock, lexically normal.
// `game_folder` is absolute and normal.
std::filesystem::path DefaultDlss5WorkFolder(const std::filesystem::path& game_folder);
std::filesystem::path DefaultFgWorkFolder(const std::filesystem::path& game_folder);

// True when the two absolute, normal folders are the same element by element,
// letter case included.
bool IsSameWorkFolder(const std::filesystem::path& given, const std::filesystem::path& expected);

}  // namespace qv::setup
