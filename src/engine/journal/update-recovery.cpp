#include "engine/journal/update-recovery.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "engine/journal/backup-put-back.h"
#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/records/update-log.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

void DeleteJournalFile(const std::filesystem::path& journal_path) {
  ::DeleteFileW(ApiPath(journal_path).c_str());  // failures leave it to the next recovery
}

// " from 1.1.0 to 1.2.0", as far as the journal knows the versions.
std::string VersionsText(const UpdateJournal& journal) {
  std::string text;
  if (!journal.old_version.empty()) text += " from " + journal.old_version;
  if (!journal.new_version.empty()) text += " to " + journal.new_version;
  return text;
}

bool IsStarted(const std::optional<UpdateJournal>& journal) { return journal && journal->state == kJournalStarted; }

// The value of the journal's first "<key>=" line, as bytes; empty when none.
std::string JournalValue(const std::string& text, std::string_view key) {
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      return std::string(line.substr(key.size() + 1));
    }
  }
  return {};
}

bool SameName(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::wstring x = a.native();
  const std::wstring y = b.native();
  return !x.empty() && ::CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

// The backup folder a journal names, taken beside `installation` whatever
// drive or folder the journal spells it under, when the journal is this
// installation's (its backup named beside it, or its installation under this
// one's name: what a changed drive letter gives) and the folder is an update
// backup there that is no link. Empty otherwise.
std::filesystem::path NamedBackupFolder(const std::filesystem::path& installation,
                                        const std::filesystem::path& journal_path) {
  const std::string text = ReadSmallFile(journal_path, 64u << 20);
  std::filesystem::path named_backup;
  std::filesystem::path named_install;
  try {
    named_backup = PathFromUtf8(JournalValue(text, "backup"));
    named_install = PathFromUtf8(JournalValue(text, "install"));
  } catch (const std::system_error&) {
  }
  if (named_backup.empty()) return {};
  std::error_code error;
  const std::filesystem::path install = WeaklyCanonicalPath(NormalAbsolutePath(installation), error);
  if (error || install.empty()) return {};
  const std::filesystem::path parent = ParentFolder(install);
  const std::filesystem::path candidate = parent / named_backup.filename();
  std::error_code parent_error;
  const std::filesystem::path named_parent = WeaklyCanonicalPath(ParentFolder(named_backup), parent_error);
  const bool own = (!parent_error && named_parent == parent) ||
                   (!named_install.empty() && SameName(named_install.filename(), install.filename()));
  if (!own || !IsUpdateTempFolder(install, candidate, kUpdateBackupPrefix)) return {};
  auto item = ReadItemInfo(candidate);
  if (!item || !item->IsFolder() || item->IsSymbolicLink()) return {};
  return candidate;
}

// A refused journal moves nothing on its own word; but the backup folder it
// names may hold the only copies of old files. Those whose place is empty
// come back; while others stay there, the journal stays with them.
void SettleRefusedJournal(const std::filesystem::path& installation, const std::filesystem::path& journal_path,
                          const std::string& why) {
  const std::filesystem::path backup = NamedBackupFolder(installation, journal_path);
  BackupPutBack settled;
  if (!backup.empty()) settled = PutBackFromBackup(installation, backup);
  const std::string folder = ToGenericUtf8Lenient(backup);
  std::string line = std::string("an update journal was refused and ") + (settled.kept.empty() ? "deleted" : "kept") +
                     (settled.put_back.empty() ? ", nothing moved: " : ": ") + why;
  if (!settled.put_back.empty()) line += "; put back from " + folder + ": " + JoinedPaths(settled.put_back);
  if (!settled.kept.empty()) {
    line += "; its backup folder " + folder + " still holds files that were not put back: " +
            JoinedPaths(settled.kept);
  }
  AppendUpdateLog(installation, line);
  if (!settled.kept.empty()) return;
  if (!backup.empty() && !FolderHoldsFiles(backup)) RemoveTree(backup);  // only emptied folders are left in it
  DeleteJournalFile(journal_path);
}

bool AnyFolderLeft(const UpdateJournal& journal) {
  return ReadItemStatus(journal.backup) || ReadItemStatus(journal.staging) ||
         (!journal.download.empty() && ReadItemStatus(journal.download));
}

// A journal set aside (SetAsideKeptJournal) no longer describes the
// installation, which a later commit changed: its steps are never taken.
// What it still keeps are its folders. A finished update's go; from the
// backup of any other, each file whose place is empty comes back. The
// journal goes once its backup holds no file.
void SettleSetAsideJournal(const std::filesystem::path& installation, const std::filesystem::path& journal_path,
                           std::chrono::milliseconds removal_pause) {
  std::error_code passing;
  const std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path, nullptr, &passing);
  if (passing) return;  // for the next run
  const std::string name = ToGenericUtf8Lenient(journal_path);
  if (journal && journal->state != kJournalSwapping) {
    RemoveUpdateTempFolders(*journal, removal_pause);
    if (AnyFolderLeft(*journal)) return;
    DeleteJournalFile(journal_path);
    AppendUpdateLog(installation, "the update journal set aside as " + name + " is finished and deleted");
    return;
  }
  const std::filesystem::path backup = NamedBackupFolder(installation, journal_path);
  BackupPutBack settled;
  if (!backup.empty()) settled = PutBackFromBackup(installation, backup);
  const std::string put_back =
      settled.put_back.empty() ? "" : "; put back from " + ToGenericUtf8Lenient(backup) + ": " + JoinedPaths(settled.put_back);
  if (!settled.kept.empty()) {
    if (!put_back.empty()) AppendUpdateLog(installation, "the update journal set aside as " + name + " is kept" + put_back);
    return;
  }
  if (!backup.empty() && !FolderHoldsFiles(backup)) RemoveTree(backup);  // only emptied folders are left in it
  if (journal) RemoveUpdateTempFolders(*journal, removal_pause);
  DeleteJournalFile(journal_path);
  AppendUpdateLog(installation, "the update journal set aside as " + name + " is finished and deleted" + put_back);
}

}  // namespace

std::filesystem::path SetAsideKeptJournal(const std::filesystem::path& installation, std::string_view run) {
  const std::filesystem::path journal_path = UpdateJournalPath(installation);
  const std::filesystem::path aside = SetAsideJournalPath(installation, run);
  if (ReadItemInfo(aside) || RenameItem(journal_path, aside, ExistingTarget::kRefuse)) return {};
  AppendUpdateLog(installation, "the update journal that recovery kept was set aside as " +
                                    ToGenericUtf8Lenient(aside) + " for later runs to finish");
  return aside;
}

bool AnyJournalKept(const std::filesystem::path& installation) {
  return ReadItemInfo(UpdateJournalPath(installation)) || !SetAsideJournalPaths(installation).empty();
}

std::string KeptJournalText(const std::filesystem::path& installation) {
  std::filesystem::path journal_path = UpdateJournalPath(installation);
  if (!ReadItemInfo(journal_path)) {
    const std::vector<std::filesystem::path> aside = SetAsideJournalPaths(installation);
    if (!aside.empty()) journal_path = aside.front();
  }
  std::string text = "An earlier update could not be finished: its journal " + NativePathToUtf8(journal_path) +
                     " and its folders beside the installation stay (the update log says why).";
  const std::filesystem::path backup = NamedBackupFolder(installation, journal_path);
  if (!backup.empty() && FolderHoldsFiles(backup)) {
    text += " The folder " + NativePathToUtf8(backup) +
            " still holds files of the game's installation: close any program that uses them, or move them where "
            "they belong, then try again.";
  }
  return text;
}

bool RecoverInterruptedUpdate(const std::filesystem::path& installation, std::chrono::milliseconds removal_pause) {
  for (const std::filesystem::path& aside : SetAsideJournalPaths(installation)) {
    SettleSetAsideJournal(installation, aside, removal_pause);
  }
  const std::filesystem::path journal_path = UpdateJournalPath(installation);
  if (!ReadItemStatus(journal_path)) return false;
  std::string why;
  std::error_code passing;
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path, &why, &passing);
  if (!journal && passing) {
    AppendUpdateLog(installation, "the update journal could not be read for now (" + why +
                                      "); it stays for the next run");
    return false;
  }
  // The caller holds the installation's guard, and so does every run that
  // writes a journal for as long as it lives: whoever wrote this one has
  // ended (the game itself only rewrites the state, it moves no file). The
  // process id in the journal proves nothing either way, for ids come back.
  //
  // A journal with a step no commit writes (the player's or the game's
  // files, an item named by its short 8.3 name) is no commit's record: like
  // any other journal refused, it goes and nothing moves.
  if (journal && !CheckJournalSteps(*journal, &why)) journal.reset();
  if (!journal) {
    SettleRefusedJournal(installation, journal_path, why);
    return false;
  }
  if (journal->state != kJournalSwapping) {
    // The backup of a finished update holds nothing of value, but only its
    // journal names it: the journal goes after it, never before.
    RemoveUpdateTempFolders(*journal, removal_pause);
    if (AnyFolderLeft(*journal)) {
      const std::string folder =
          ToGenericUtf8Lenient(ReadItemStatus(journal->backup) ? journal->backup : journal->staging);
      AppendUpdateLog(installation, "the folder " + folder +
                                        " of a finished update could not be removed; its journal stays for the "
                                        "next run");
      return false;
    }
    DeleteJournalFile(journal_path);
    return false;
  }
  std::string message;
  if (!RollBackJournal(*journal, &message)) {
    AppendUpdateLog(installation, "an interrupted update could not be undone: " + message);
    // Closing the game helps with a file held open; a folder in the way of
    // an old file stays until the user moves it, and the sentence says so.
    if (message.ends_with(kMoveThatFolder)) {
      message.resize(message.size() - kMoveThatFolder.size());
      throw std::runtime_error("An earlier update could not be undone (" + message +
                               "). Move that folder elsewhere, then try again; until then the update's backup "
                               "folder " +
                               ToGenericUtf8Lenient(journal->backup) + " is kept.");
    }
    throw std::runtime_error("An earlier update could not be undone (" + message + "). Close Q.V. and try again.");
  }
  AppendUpdateLog(installation, "an interrupted update" + VersionsText(*journal) + " was rolled back");
  // A backup that still holds files keeps the journal and the folders: the
  // run goes on, and no old file is ever deleted on the word of a journal
  // that named too few steps.
  if (RemoveFoldersAfterRollback(*journal, nullptr, removal_pause)) DeleteJournalFile(journal_path);
  return true;
}

std::int32_t WaitForStartedVersion(const std::filesystem::path& journal_path, const ExitCodeQuery& exit_query,
                                   std::int64_t timeout_seconds, std::int32_t* exit_code,
                                   std::chrono::milliseconds poll_interval) {
  // About thirty years at most, so that the deadline cannot overflow the clock.
  constexpr std::int64_t kLongestWait = std::int64_t{1} << 30;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(std::min(timeout_seconds, kLongestWait));
  for (;;) {
    if (IsStarted(ReadUpdateJournal(journal_path))) return 0;
    if (exit_query) {
      if (std::optional<std::int32_t> code = exit_query()) {
        if (exit_code) *exit_code = *code;
        // The game may have confirmed its start just before it ended.
        const bool confirmed = IsStarted(ReadUpdateJournal(journal_path));
        return *code != 0 && !confirmed ? 1 : 0;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) return exit_query ? 0 : 2;
    std::this_thread::sleep_for(poll_interval);
  }
}

bool FinishStartedUpdate(const std::filesystem::path& journal_path, std::chrono::milliseconds removal_pause) {
  std::error_code passing;
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path, nullptr, &passing);
  if (!journal) {
    // Not read for now, or refused while the backup folder it names still
    // holds files: the journal is their last record, and the next recovery
    // settles it as any refused journal.
    if (passing) return false;
    const std::filesystem::path installation = ParentFolder(ParentFolder(NormalAbsolutePath(journal_path)));
    const std::filesystem::path backup = NamedBackupFolder(installation, journal_path);
    if (!backup.empty() && FolderHoldsFiles(backup)) return false;
    DeleteJournalFile(journal_path);
    return true;
  }
  // A journal still saying "swapping" (its rewrite as "swapped" failed) would
  // make the next recovery roll back from a half-deleted backup and leave a
  // mix of both versions: the start is recorded before anything is deleted.
  if (journal->state == kJournalSwapping) {
    journal->state = kJournalStarted;
    if (!WriteUpdateJournal(journal_path, *journal)) return false;
  }
  RemoveUpdateTempFolders(*journal, removal_pause);
  if (AnyFolderLeft(*journal)) {
    if (std::optional<UpdateJournal> again = ReadUpdateJournal(journal_path)) {
      again->state = kJournalStarted;
      WriteUpdateJournal(journal_path, *again);
    }
    return false;
  }
  DeleteJournalFile(journal_path);
  return true;
}

bool RestorePreviousVersion(const std::filesystem::path& journal_path, std::string* message,
                            std::chrono::milliseconds removal_pause) {
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path);
  if (!journal) {
    if (message) *message = "the update journal is missing";
    return false;
  }
  // Rolled back from "swapped" or "started", a failing step would leave a
  // journal that the next recovery takes for a finished update: it would keep
  // the new files and delete the backup with the old ones. Marked "swapping"
  // first, the journal makes any later recovery finish the rollback.
  if (journal->state != kJournalSwapping) {
    journal->state = kJournalSwapping;
    if (!WriteUpdateJournal(journal_path, *journal)) {
      if (message) *message = "the update journal could not be rewritten";
      return false;
    }
  }
  if (!RollBackJournal(*journal, message)) return false;
  if (!RemoveFoldersAfterRollback(*journal, message, removal_pause)) return false;
  DeleteJournalFile(journal_path);
  return true;
}

}  // namespace qv::setup
