#include "engine/transaction/file-moves.h"

#include <system_error>
#include <thread>

#include "engine/path-classes.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"

namespace qv::setup {

void RenameWithRetry(const std::filesystem::path& from, const std::filesystem::path& to, ExistingTarget existing,
                     std::chrono::milliseconds pause) {
  std::error_code error;
  for (int attempt = 1;; ++attempt) {
    error = RenameItem(from, to, existing);
    if (!error || attempt == kRenameAttempts) break;
    if (existing == ExistingTarget::kRefuse && IsTargetExistsError(error)) break;
    if (!ReadItemInfo(from)) break;  // the source is gone: nothing left to wait for
    std::this_thread::sleep_for(pause);
  }
  if (error) throw std::filesystem::filesystem_error("rename", from, to, error);
}

void MoveStagedFile(const std::filesystem::path& from_root, const std::filesystem::path& to_root,
                    const std::string& relative) {
  const std::filesystem::path source = SafePayloadPath(from_root, relative);
  const std::filesystem::path destination = SafePayloadPath(to_root, relative);
  CreateFolders(ParentFolder(destination));
  RenameWithRetry(source, destination, ExistingTarget::kRefuse);
}

void PruneEmptyParents(const std::filesystem::path& root, const std::string& relative, const FileSystemView& view) {
  std::filesystem::path folder;
  try {
    // Only a path that stays below the root has parents worth removing.
    if (!IsSafeRelativePath(relative)) return;
    folder = PathFromUtf8(relative).parent_path();
  } catch (const std::system_error&) {
    return;
  }
  for (; !folder.empty(); folder = folder.parent_path()) {
    std::string generic;
    try {
      generic = ToGenericUtf8(folder);
    } catch (const std::system_error&) {
      return;
    }
    if (IsPreservedUserPath(generic + "/")) return;
    const std::filesystem::path absolute = root / folder;
    auto item = ReadItemInfo(absolute, view);
    if (item && item->IsSymbolicLink()) return;
    if (!IsEmptyFolder(absolute, view)) return;
    if (RemoveItem(absolute, view)) return;
  }
}

}  // namespace qv::setup
