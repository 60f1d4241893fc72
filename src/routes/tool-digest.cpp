#include "routes/tool-digest.h"

#include <optional>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/item-status.h"

namespace qv::setup {

std::string ToolDigestOrEmpty(const std::filesystem::path& file) {
  const std::optional<ItemStatus> status = ReadItemStatus(file);
  if (!status || status->directory) return {};
  return HashFileOrEmpty(file);
}

}  // namespace qv::setup
