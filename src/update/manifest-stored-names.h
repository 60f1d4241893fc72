#pragma once
// The names of a signed manifest judged as the file system will resolve them
// in the game folder: each existing element must be stored under the name the
// manifest gives. A short 8.3 name ("CUSA09~1/chunk1.psarc") passes every
// name rule and still reaches the player's game archives.

#include <filesystem>
#include <vector>

#include "update/signed-manifest.h"

namespace qv::update {

// Raises std::runtime_error for the first entry, in list order, that reaches
// an existing item of `game_folder` under another name (IsStoredAsNamed):
//   "The update lists <name>, which is <stored name> under another name." or,
//   when the folder cannot be searched for it,
//   "The update lists <name>, which could not be looked up in the game folder."
void CheckManifestNamesAsStored(const std::filesystem::path& game_folder, const std::vector<FileEntry>& files);

}  // namespace qv::update
