#include "engine/journal/update-temp-folders.h"

#include <windows.h>

#include <cctype>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "engine/installation-guard.h"
#include "engine/journal/backup-put-back.h"
#include "engine/records/update-log.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

bool IsSymbolicLink(const std::filesystem::path& path, const FileSystemView& view) {
  auto item = ReadItemInfo(path, view);
  return item && item->IsSymbolicLink();
}

// The item itself when it is a file or an empty folder, else the whole tree.
std::error_code RemoveTemporaryItem(const std::filesystem::path& path, const FileSystemView& view) {
  std::error_code error = RemoveItem(path, view);
  if (error.value() == ERROR_DIR_NOT_EMPTY && error.category() == std::system_category()) {
    error = RemoveTree(path, view);
  }
  return error;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A run identifier as runs make them: a GUID's 36 hexadecimal digits and
// hyphens, with or without braces around it.
bool IsRunIdentifier(std::string_view text) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen_place ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// The run identifier in the name of a staging, download or repair folder;
// empty for any other name (a backup folder among them: ".qv-update-old-"
// followed by an identifier is no run identifier after ".qv-update-").
std::string_view RunOfTemporaryFolder(std::string_view name) {
  for (std::string_view prefix :
       {kUpdateDownloadPrefix, kUpdateRepairPrefix, kUpdateStagingPrefix, kInstallStagingPrefix}) {
    if (StartsWith(name, prefix)) {
      const std::string_view run = name.substr(prefix.size());
      return IsRunIdentifier(run) ? run : std::string_view();
    }
  }
  return {};
}

}  // namespace

void RemoveAbandonedUpdateFolders(const std::filesystem::path& installation, std::string_view current_run_id,
                                  const FileSystemView& view) {
  const std::filesystem::path install = NormalAbsolutePath(installation);
  // A journal set aside still names folders that may hold the only copy of
  // a file: nothing is swept while one is left.
  if (ReadItemInfo(UpdateJournalPath(install), view) || !SetAsideJournalPaths(install, view).empty()) return;
  const std::filesystem::path parent = ParentFolder(install);
  if (parent.empty() || parent == install) return;
  for (const FolderEntry& entry : ListEntries(parent, view)) {
    if (!entry.info.IsFolder() || entry.info.IsReparsePoint()) continue;
    const std::string name = WideToUtf8(entry.name);
    const std::string_view run = RunOfTemporaryFolder(name);
    if (run.empty() || run == current_run_id || IsRunMarked(run)) continue;
    RemoveTree(parent / entry.name, view);  // best effort: the next run tries again
  }
}

void RemoveUpdateTempFolders(const UpdateJournal& journal, std::chrono::milliseconds pause,
                             const FileSystemView& view) {
  const std::pair<const std::filesystem::path*, std::string_view> folders[] = {
      {&journal.staging, kUpdateStagingPrefix},
      {&journal.backup, kUpdateBackupPrefix},
      {&journal.download, kUpdateDownloadPrefix},
  };
  for (const auto& [folder, prefix] : folders) {
    if (!IsUpdateTempFolder(journal.install, *folder, prefix)) continue;
    if (IsSymbolicLink(*folder, view)) continue;
    for (int attempt = 1; attempt <= kTempFolderRemovalAttempts; ++attempt) {
      if (!RemoveTemporaryItem(*folder, view)) break;
      if (!ReadItemStatus(*folder)) break;  // gone after all, or nothing more to learn about it
      if (attempt < kTempFolderRemovalAttempts) std::this_thread::sleep_for(pause);
    }
  }
}

bool FolderHoldsFiles(const std::filesystem::path& folder, const FileSystemView& view) {
  bool found = false;
  WalkTree(
      folder,
      [&found](const TreeEntry& entry) {
        if (entry.info.IsFolder()) return WalkStep::kContinue;  // links to folders are not entered
        found = true;
        return WalkStep::kStop;
      },
      view);
  return found;
}

bool RemoveFoldersAfterRollback(const UpdateJournal& journal, std::string* message, std::chrono::milliseconds pause,
                                const FileSystemView& view) {
  // Of the files the journal does not name, those whose place is empty come
  // back; the others are never deleted.
  const BackupPutBack settled = PutBackFromBackup(journal.install, journal.backup, view);
  const std::string kept = ToGenericUtf8Lenient(journal.backup);
  if (!settled.put_back.empty()) {
    AppendUpdateLog(journal.install, "after the rollback, files that the update journal does not name were put "
                                     "back from " + kept + ": " + JoinedPaths(settled.put_back));
  }
  if (FolderHoldsFiles(journal.backup, view)) {
    AppendUpdateLog(journal.install, "after the rollback the backup folder " + kept +
                                         " still holds files that the update journal does not name; it is kept, "
                                         "with the staging folder and the journal: " + JoinedPaths(settled.kept));
    if (message) *message = "the backup folder " + kept + " still holds files";
    return false;
  }
  RemoveUpdateTempFolders(journal, pause, view);
  return true;
}

void RemoveStaleTemporary(const std::filesystem::path& parent, const std::filesystem::path& item,
                          const FileSystemView& view) {
  if (!ReadItemStatus(item)) return;
  if (ParentFolder(item) != parent) return;
  if (IsSymbolicLink(item, view)) return;
  std::string name;
  try {
    name = ToGenericUtf8(item.filename());
  } catch (const std::system_error&) {
    return;
  }
  if (!StartsWith(name, kInstallStagingPrefix) && !StartsWith(name, kUpdateStagingPrefix)) return;
  RemoveTemporaryItem(item, view);
}

}  // namespace qv::setup
