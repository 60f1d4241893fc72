#include "engine/journal/update-recovery.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/records/update-log.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"

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

}  // namespace

bool RecoverInterruptedUpdate(const std::filesystem::path& installation, std::chrono::milliseconds removal_pause) {
  const std::filesystem::path journal_path = UpdateJournalPath(installation);
  if (!ReadItemStatus(journal_path)) return false;
  std::string why;
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path, &why);
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
    AppendUpdateLog(installation, "an update journal was refused and deleted, nothing moved: " + why);
    DeleteJournalFile(journal_path);
    return false;
  }
  if (journal->state != kJournalSwapping) {
    RemoveUpdateTempFolders(*journal, removal_pause);
    DeleteJournalFile(journal_path);
    return false;
  }
  std::string message;
  if (!RollBackJournal(*journal, &message)) {
    AppendUpdateLog(installation, "an interrupted update could not be undone: " + message);
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
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path);
  if (!journal) {
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
  const bool left_over = ReadItemStatus(journal->backup) || ReadItemStatus(journal->staging) ||
                         (!journal->download.empty() && ReadItemStatus(journal->download));
  if (left_over) {
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
