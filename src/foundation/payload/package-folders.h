#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace qv::setup {

// Answers a known folder's path, or nullopt when the system has none.
using KnownFolderQuery = std::function<std::optional<std::filesystem::path>(const KNOWNFOLDERID& id)>;

// Where players keep a downloaded package or a copied dump: the user's
// Downloads, Desktop and Documents folders, in that order, leaving out those
// the system does not know. The engine searches them for the game's title
// picture when the chosen source lacks it.
std::vector<std::filesystem::path> DefaultPackageFolders();
std::vector<std::filesystem::path> DefaultPackageFolders(const KnownFolderQuery& query);

}  // namespace qv::setup
