#include "update/download/download-folder.h"

#include "engine/journal/update-journal.h"
#include "engine/journal/update-temp-folders.h"
#include "foundation/files/item-status.h"

namespace qv::setup {

void RemoveDownloadFolder(const std::filesystem::path& game_folder, const std::filesystem::path& download_folder,
                          const FileSystemView& view) {
  // The name test keeps a damaged or mistaken path (the game folder itself,
  // its parent, a folder elsewhere) from being deleted with all it holds.
  if (!IsUpdateTempFolder(game_folder, download_folder, kUpdateDownloadPrefix)) return;
  RemoveStaleTemporary(ParentFolder(download_folder), download_folder, view);
}

}  // namespace qv::setup
