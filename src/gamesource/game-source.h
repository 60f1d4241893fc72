#pragma once
// Turns the one path the user picked (a console package, a dumped game folder,
// a file inside one, or a folder above one) into a checked GameSource. Only
// reads; every failure is a std::runtime_error with a sentence for the user.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "gamesource/game-files.h"

namespace qv::setup {

// Folder levels searched below the chosen folder, and folders gathered per level.
inline constexpr int kGameSearchLevels = 3;
inline constexpr std::size_t kGameSearchFoldersPerLevel = 256;

GameSource ResolveGameSource(const std::filesystem::path& path);

// The Folder source of one folder; nullopt when it lacks the chunk or texture
// archive. Raises "This folder holds another game (...), not Q.V." when the
// archives are there but the release is not this game's.
std::optional<GameSource> IdentifyGameFolder(const std::filesystem::path& folder);

// The three game files of `folder` under whatever names this release uses, with
// a note for each one found under another name; identifiers left empty.
GameFiles LocateGameArchives(const std::filesystem::path& folder);

using GameFileTest = std::function<bool(const std::filesystem::path&)>;

// The canonical name when it passes `test`, else the largest file with the
// extension that passes it (the one listed last of equal sizes), with a note.
std::filesystem::path FindGameFileByExtension(const std::filesystem::path& folder, std::string_view canonical_name,
                                              std::string_view extension, const GameFileTest& test,
                                              std::vector<std::string>& notes);

// As FindGameFileByExtension, for files whose name contains "pathid_list".
std::filesystem::path FindGameFileByNamePart(const std::filesystem::path& folder, std::string_view canonical_name,
                                             const GameFileTest& test, std::vector<std::string>& notes);

}  // namespace qv::setup
