#include "engine/transaction/destination-checks.h"

#include <stdexcept>

#include "foundation/files/item-status.h"

#include "foundation/files/canonical-path.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

bool DiffersFromEntry(const fs::path& file, const PayloadEntry& entry, const FileHasher& hasher,
                      const FileSystemView& view) {
  if (!IsRegularFile(file)) return true;
  // Past the link test the item's own size is its target's: only links point elsewhere.
  auto info = ReadItemInfo(file, view);
  if (!info || info->IsSymbolicLink() || info->size != entry.size) return true;
  if (!hasher) return true;
  std::string digest;
  try {
    digest = hasher(file);
  } catch (...) {
    if (IsCancelRequested()) throw;  // the user's cancel, not a damaged file
    return true;
  }
  return digest != entry.sha256;
}

}  // namespace

void CheckDestinationHasNoLinks(const fs::path& destination, const FileSystemView& view) {
  fs::path current = NormalAbsolutePath(destination);
  while (!current.empty()) {
    if (IsLinkOrJunction(current, view)) {
      throw std::runtime_error("Choose a destination without junctions or symbolic links.");
    }
    fs::path parent = current.parent_path();
    if (parent == current) break;  // the root has been tested
    current = std::move(parent);
  }
}

std::vector<PayloadEntry> FindDifferingFiles(const fs::path& root, const std::vector<PayloadEntry>& expected,
                                             const FileHasher& hasher, const FileSystemView& view) {
  std::vector<PayloadEntry> differing;
  for (const PayloadEntry& entry : expected) {
    ThrowIfCancelled();
    const fs::path file = SafePayloadPath(root, entry.name);
    if (DiffersFromEntry(file, entry, hasher, view)) differing.push_back(entry);
  }
  return differing;
}

bool IsOutsideFolderCanonical(const fs::path& folder, const fs::path& candidate) {
  if (candidate.empty() || !ReadItemStatus(candidate)) return false;
  const fs::path absolute = NormalAbsolutePath(candidate);
  std::error_code error;
  const fs::path canonical = WeaklyCanonicalPath(absolute, error);
  if (error) return false;
  auto inside = canonical.begin();
  for (const fs::path& element : folder) {
    if (inside == canonical.end() || inside->native() != element.native()) return true;
    ++inside;
  }
  return false;  // the folder itself or a path below it
}

}  // namespace qv::setup
