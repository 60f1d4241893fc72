#include "engine/journal/backup-put-back.h"

#include <algorithm>
#include <system_error>

#include "engine/journal/update-journal.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/stored-names.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

struct BackupFile {
  fs::path path;
  std::string relative;  // generic UTF-8; empty when the name is not valid Unicode
  bool link = false;
};

// The files first, then the moves: a walk does not see its folders change.
std::vector<BackupFile> ListBackupFiles(const fs::path& backup, const FileSystemView& view) {
  std::vector<BackupFile> files;
  WalkTree(
      backup,
      [&files](const TreeEntry& entry) {
        if (entry.info.IsFolder()) return WalkStep::kContinue;  // links to folders are not entered
        BackupFile file{entry.path, ToGenericUtf8Lenient(entry.relative), entry.info.IsSymbolicLink()};
        try {
          file.relative = ToGenericUtf8(entry.relative);
        } catch (const std::system_error&) {
          file.link = true;  // kept under its lenient name: no name test can judge it
        }
        files.push_back(std::move(file));
        return WalkStep::kContinue;
      },
      view);
  return files;
}

bool MovesBack(const fs::path& installation, const BackupFile& file) {
  if (file.link || !IsJournalStep('r', file.relative) || !IsStoredAsNamed(installation, file.relative)) return false;
  fs::path target;
  try {
    target = installation / PathFromUtf8(file.relative);
  } catch (const std::system_error&) {
    return false;
  }
  if (ReadItemStatus(target)) return false;  // something is in place: it is never replaced
  try {
    CreateFolders(ParentFolder(target));
  } catch (const fs::filesystem_error&) {
    return false;
  }
  return !RenameItem(file.path, target, ExistingTarget::kRefuse);
}

}  // namespace

BackupPutBack PutBackFromBackup(const fs::path& installation, const fs::path& backup, const FileSystemView& view) {
  BackupPutBack result;
  for (const BackupFile& file : ListBackupFiles(backup, view)) {
    (MovesBack(installation, file) ? result.put_back : result.kept).push_back(file.relative);
  }
  std::sort(result.put_back.begin(), result.put_back.end());
  std::sort(result.kept.begin(), result.kept.end());
  return result;
}

std::string JoinedPaths(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) text += (text.empty() ? "" : ", ") + path;
  return text;
}

}  // namespace qv::setup
