#include "engine/update-recovery.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "engine/installation-guard.h"
#include "engine/journal-rollback.h"
#include "engine/update-journal.h"
#include "foundation/item-status.h"
#include "foundation/paths.h"
#include "foundation/process-helpers.h"

namespace qv::setup {
namespace {

void DeleteJournalFile(const std::filesystem::path& journal_path) {
  ::DeleteFileW(ApiPath(journal_path).c_str());  // failures leave it to the next recovery
}

bool IsStarted(const std::optional<UpdateJournal>& journal) { return journal && journal->state == kJournalStarted; }

// Whether the run that wrote the journal may still be at work on it, in
// whatever state: a live writer may still roll back, confirm or clean up.
// This process is never the writer of a journal it finds before its own
// commit, and neither is a process created after the journal was last
// written: it only holds the writer's id again (ids come back quickly, and
// after a reboot the low ones are handed out anew). When either time cannot
// be read, a live process with the id counts as the writer.
bool IsWriterRunning(const UpdateJournal& journal, const std::filesystem::path& journal_path,
                     const ProcessAliveQuery& process_alive) {
  if (journal.pid == 0 || !process_alive) return false;
  if (journal.pid == ::GetCurrentProcessId()) return false;
  if (!process_alive(journal.pid)) return false;
  const std::optional<std::uint64_t> created = ProcessCreationTime(journal.pid);
  const std::optional<std::uint64_t> written = ItemWriteTime(journal_path);
  return !(created && written && *created > *written);
}

}  // namespace

bool RecoverInterruptedUpdate(const std::filesystem::path& installation, const ProcessAliveQuery& process_alive,
                              std::chrono::milliseconds removal_pause) {
  const std::filesystem::path journal_path = UpdateJournalPath(installation);
  if (!ReadItemStatus(journal_path)) return false;
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path);
  if (!journal) {
    DeleteJournalFile(journal_path);
    return false;
  }
  if (IsWriterRunning(*journal, journal_path, process_alive)) throw std::runtime_error(kAnotherRunMessage);
  if (journal->state != kJournalSwapping) {
    RemoveUpdateTempFolders(*journal, removal_pause);
    DeleteJournalFile(journal_path);
    return false;
  }
  std::string message;
  if (!RollBackJournal(*journal, &message)) {
    throw std::runtime_error("An earlier update could not be undone (" + message + "). Close Q.V. and try again.");
  }
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
