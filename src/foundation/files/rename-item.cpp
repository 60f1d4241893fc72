#include "foundation/files/rename-item.h"

#include <windows.h>

#include "foundation/files/file-system-view.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/files/whole-copy.h"

namespace qv::setup {

CrossVolumeTestHook CrossVolumeHook;

std::error_code RenameItem(const std::filesystem::path& from, const std::filesystem::path& to,
                           ExistingTarget existing) {
  // Without MOVEFILE_COPY_ALLOWED: the platform's own copy to another volume
  // writes under the target's name, where a kill leaves a part of the file
  // that looks like the whole one.
  const DWORD flags = existing == ExistingTarget::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
  DWORD code = ERROR_NOT_SAME_DEVICE;
  if (!(CrossVolumeHook.crosses && CrossVolumeHook.crosses(from, to))) {
    if (::MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(), flags)) return {};
    code = ::GetLastError();
  }
  const std::error_code error(static_cast<int>(code), std::system_category());
  if (code != ERROR_NOT_SAME_DEVICE) return error;

  // Another volume (a title folder that is a junction or mount point to
  // another drive): a file is copied whole into place, and only then does
  // its source go. Folders and links do not cross volumes.
  const std::optional<ItemInfo> source = ReadItemInfo(from);
  if (!source || source->IsFolder() || source->IsReparsePoint()) return error;
  if (std::error_code copied = CopyIntoPlace(from, to, existing, CrossVolumeHook.copy)) return copied;
  // A source that cannot be deleted fails the move with both copies whole; a
  // read-only one goes as the platform's move lets it go.
  return RemoveItem(from);
}

bool IsTargetExistsError(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_ALREADY_EXISTS || error.value() == ERROR_FILE_EXISTS);
}

}  // namespace qv::setup
