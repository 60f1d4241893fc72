#include "update/download/update-run.h"

#include "engine/journal/update-journal.h"
#include "foundation/files/item-status.h"
#include "foundation/text/text.h"

namespace qv::setup {

std::filesystem::path DownloadFolderFor(const std::filesystem::path& game_folder, std::string_view run_id) {
  return ParentFolder(game_folder) / Utf8ToWide(std::string(kUpdateDownloadPrefix) + std::string(run_id));
}

}  // namespace qv::setup
