#include "gamesource/game-data-folder.h"

#include <windows.h>

#include <stdexcept>

#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"

namespace qv::setup {

void EnsureGameDataFolder(const std::filesystem::path& root, std::string_view suffix, const PathValidator& validator) {
  const std::filesystem::path data = root / L"data";
  // Something that can be read is left as it is, whatever it is: the probe
  // below refuses what is not a writable folder.
  if (!ReadItemStatus(data) && !::CreateDirectoryW(ApiPath(data).c_str(), nullptr)) {
    throw std::runtime_error("Could not create the game's data folder.");
  }
  if (validator) validator(data);
  ProbeWritableFolder(data, suffix, "game data folder");
}

}  // namespace qv::setup
