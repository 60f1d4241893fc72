#pragma once
// What happens to an update journal after the run that wrote it: recovery of
// an interrupted update before the next install or update of the folder, and
// the start confirmation of a new version (wait, finish, or restore the
// previous version).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/journal/update-temp-folders.h"

namespace qv::setup {

// Nothing while the started game runs; its exit code once it has ended.
using ExitCodeQuery = std::function<std::optional<std::int32_t>()>;

inline constexpr std::chrono::milliseconds kStartPollInterval{250};

// Deals with the journal an earlier run left in `installation`:
//   "swapping"  rolled back (the update was interrupted), folders and journal
//               removed; returns true. When the backup still holds files
//               after the rollback (a journal cut short by damage), the
//               folders and the journal stay and the update log names the
//               kept backup (RemoveFoldersAfterRollback); still true;
//   "swapped", "started"  the new version stays; folders and journal removed
//               (the journal stays, with a line in the update log, while a
//               folder cannot be removed);
//   refused     (the reader refuses it, or CheckJournalSteps: a step no
//               commit writes, or one naming an item by another name) no
//               step is taken; of the backup folder it names beside this
//               installation (under whatever drive it spells it), the files
//               whose place is empty come back (PutBackFromBackup). The
//               journal is deleted, with the emptied backup, once that
//               holds no file; else it stays with it, and the update log
//               names the folder and its files;
//   not read    a passing error (the journal held open, access refused, a
//               drive not ready) stands in the way: the journal stays;
//   none        nothing happens.
// A journal refused or rolled back, and a rollback that failed, leave one
// line in the update log that says why.
// The caller holds the installation's guard (InstallationGuard), as every run
// that writes a journal does for its whole life: the journal's writer has
// therefore ended, whatever process now holds the id the journal names.
// Raises "An earlier update could not be undone (<why>). Close Q.V. and try
// again." when the rollback fails (journal and folders stay for a later try);
// when a folder stands where a file goes back (in the installation or in
// the staging folder), the sentence asks instead to move that folder
// elsewhere and names the backup folder kept until then.
bool RecoverInterruptedUpdate(const std::filesystem::path& installation,
                              std::chrono::milliseconds removal_pause = kTempFolderRetryPause);

// Moves a journal that recovery kept to SetAsideJournalPath(installation,
// run), so that a commit may write its own without losing the record of
// files only the kept journal's folders hold; one line in the update log
// says so. Every later RecoverInterruptedUpdate first finishes the journals
// set aside as far as it can: never by their steps, which a later commit
// made stale, but by their folders (the backup of a finished update goes;
// from any other backup, files whose place is empty come back); each goes,
// with a line in the update log, once its backup holds no file. Until then
// RemoveAbandonedUpdateFolders sweeps nothing. The new path; empty when the
// journal could not be moved.
std::filesystem::path SetAsideKeptJournal(const std::filesystem::path& installation, std::string_view run);

// Whether a journal lies in the installation, in its place or set aside.
bool AnyJournalKept(const std::filesystem::path& installation);

// The sentence for a journal that recovery kept (in its place, else the
// first set aside): it names the journal and, while it holds files, the
// backup folder, with what the user can do.
std::string KeptJournalText(const std::filesystem::path& installation);

// Watches the journal and the started game, every `poll_interval`, until one
// decides:
//   0  confirmed: the journal says "started", or the game ended with code 0,
//      or it still runs when `timeout_seconds` have passed;
//   1  failed start: the game ended with a non-zero code (stored in
//      `exit_code` when given) and the journal does not say "started";
//   2  unconfirmed: the time passed without a confirmation and there is no
//      `exit_query` to watch the game with.
// A missing or unreadable journal does not end the wait by itself.
std::int32_t WaitForStartedVersion(const std::filesystem::path& journal_path, const ExitCodeQuery& exit_query,
                                   std::int64_t timeout_seconds, std::int32_t* exit_code = nullptr,
                                   std::chrono::milliseconds poll_interval = kStartPollInterval);

// Ends a confirmed update: removes its temporary folders and the journal.
// When a folder cannot be removed entirely, the journal is rewritten as
// "started" (so the next recovery finishes the clean-up) and the result is
// false. A journal still in state "swapping" is rewritten as "started" before
// anything is removed, and nothing is removed when that fails (false). A
// refused journal is deleted and counts as finished, unless the backup folder
// it names still holds files, or it could not be read for now (a passing
// error): then it stays for the next recovery (false), and nothing moves.
bool FinishStartedUpdate(const std::filesystem::path& journal_path,
                         std::chrono::milliseconds removal_pause = kTempFolderRetryPause);

// Undoes the update whatever its state: marks the journal "swapping" (so that
// a rollback that fails half-way is finished by the next recovery instead of
// taken for a finished update), rolls back, then removes the folders and the
// journal. False with "the update journal is missing" when there is no
// journal to go by; with "the update journal could not be rewritten" and
// nothing moved when the mark cannot be written; with the rollback's text when
// it failed, or RemoveFoldersAfterRollback's when the backup still holds
// files (the journal and the folders stay for a later try).
bool RestorePreviousVersion(const std::filesystem::path& journal_path, std::string* message = nullptr,
                            std::chrono::milliseconds removal_pause = kTempFolderRetryPause);

}  // namespace qv::setup
