#include "setup/folder-size.h"

#include <optional>

#include "foundation/files/item-status.h"

namespace qv::setup {

std::uint64_t FolderSize(const std::filesystem::path& folder) {
  std::uint64_t total = 0;
  for (const FolderEntry& entry : ListEntries(folder)) {
    const std::optional<ItemStatus> status = EntryStatus(folder, entry);
    if (status && !status->directory) total += status->size;
  }
  return total;
}

}  // namespace qv::setup
