#include "update/manifest-stored-names.h"

#include <stdexcept>
#include <string>

#include "foundation/files/stored-names.h"

namespace qv::update {

void CheckManifestNamesAsStored(const std::filesystem::path& game_folder, const std::vector<FileEntry>& files) {
  for (const FileEntry& file : files) {
    std::string stored;
    if (qv::setup::IsStoredAsNamed(game_folder, file.path, &stored)) continue;
    if (stored.empty() || stored == file.path) {
      throw std::runtime_error("The update lists " + file.path + ", which could not be looked up in the game folder.");
    }
    throw std::runtime_error("The update lists " + file.path + ", which is " + stored + " under another name.");
  }
}

}  // namespace qv::update
