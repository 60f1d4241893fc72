#include "engine/transaction/staged-commit.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>
#include <thread>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/leftover-sweep.h"
#include "engine/records/update-log.h"
#include "engine/transaction/file-moves.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/stored-names.h"
#include "foundation/files/whole-copy.h"
#include "foundation/files/whole-file.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-checks.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// Raises "Cannot write <path>: it is <stored path> under another name." when
// an existing element of `path` is stored under another name (a short 8.3
// name): the move would reach that item, which no name test saw.
void RequireStoredAsNamed(const fs::path& installation, const std::string& path) {
  if (std::string stored; !IsStoredAsNamed(installation, path, &stored)) {
    throw std::runtime_error("Cannot write " + path + ": it is " + stored + " under another name.");
  }
}

// Puts a staged file's data on the disk; a file held open by a scanner is
// waited for as a move waits for it. Raises "Could not write <path> to the
// disk (<reason>)." before anything has moved.
void FlushStagedFile(const fs::path& staged, const std::string& path) {
  if (!IsRegularFile(staged)) return;  // its move reports it
  std::error_code error;
  for (int attempt = 1; attempt <= kRenameAttempts; ++attempt) {
    error = FlushFileToDisk(staged);
    if (!error || (error.value() != ERROR_SHARING_VIOLATION && error.value() != ERROR_LOCK_VIOLATION)) break;
    if (attempt < kRenameAttempts) std::this_thread::sleep_for(kRenameRetryPause);
  }
  if (error) throw std::runtime_error("Could not write " + path + " to the disk (" + error.message() + ").");
}

// One started file operation of the commit, in execution order.
struct CommitUndoEntry {
  std::string path;
  bool new_in_place = false;  // the new file moved from staging into the installation
  bool backed_up = false;     // the installed file moved into the backup
};

UpdateJournal SwappingJournal(const JournalContext& context, const fs::path& staging, const fs::path& installation,
                              const fs::path& backup) {
  UpdateJournal journal;
  journal.state = kJournalSwapping;
  journal.install = NormalAbsolutePath(installation);
  journal.staging = NormalAbsolutePath(staging);
  journal.backup = NormalAbsolutePath(backup);
  // Absolute like the others: a relative folder would be read against
  // whatever the current folder of the recovering process is.
  if (!context.download.empty()) journal.download = NormalAbsolutePath(context.download);
  journal.old_version = context.old_version;
  journal.new_version = context.new_version;
  journal.pid = context.pid;
  return journal;
}

// Whether the journal at `path` reads back with the state and steps written.
bool ReadsBackAs(const fs::path& path, const UpdateJournal& written) {
  std::optional<UpdateJournal> read;
  try {
    read = ReadUpdateJournal(path);
  } catch (const std::exception&) {
    return false;
  }
  if (!read || read->state != written.state || read->steps.size() != written.steps.size()) return false;
  for (size_t i = 0; i < written.steps.size(); ++i) {
    if (read->steps[i].kind != written.steps[i].kind || read->steps[i].path != written.steps[i].path) return false;
  }
  return true;
}

// Puts back what the commit moved, last move first. False when any rename
// failed: the journal then stays for the recovery to finish the undo.
bool UndoCommit(const std::vector<CommitUndoEntry>& undo, const fs::path& staging, const fs::path& installation,
                const fs::path& backup) {
  bool ok = true;
  for (auto entry = undo.rbegin(); entry != undo.rend(); ++entry) {
    try {
      const fs::path target = SafePayloadPath(installation, entry->path);
      bool own_file_in_place = false;
      if (entry->new_in_place && RenameItem(target, SafePayloadPath(staging, entry->path), ExistingTarget::kRefuse)) {
        ok = false;
        own_file_in_place = true;
      }
      // Folders made for an added file go again, also when its move failed.
      if (!entry->backed_up) PruneEmptyParents(installation, entry->path);
      if (entry->backed_up) {
        try {
          CreateFolders(ParentFolder(target));
        } catch (const fs::filesystem_error&) {
        }
        // Replacing only this update's own new file, whose move back failed:
        // the old file takes precedence over it. Whatever else appeared at
        // the place since the old file left is not the update's to replace;
        // the backup then stays, and so does the journal for the recovery.
        const ExistingTarget existing = own_file_in_place ? ExistingTarget::kReplace : ExistingTarget::kRefuse;
        if (RenameItem(SafePayloadPath(backup, entry->path), target, existing)) ok = false;
      }
    } catch (...) {
      ok = false;
    }
  }
  return ok;
}

}  // namespace

void UpdateTestHook(const JournalContext* journal, std::int32_t& step, std::int32_t fail_at) {
  const std::int32_t current = step;
  if (journal && current == journal->crash_at) throw SimulatedCrash{};
  if (journal && current == journal->pause_at) {
    fs::path marker = journal->journal_path;
    marker += L".paused";
    WriteWholeFile(marker, std::to_string(current) + "\n");
    std::this_thread::sleep_for(kTestPauseDuration);
  }
  ++step;
  if (current == fail_at) throw std::runtime_error("Test failure during the update.");
}

CommitResult CommitStagedFiles(const fs::path& staging, const fs::path& installation,
                               const std::vector<InstalledFile>& installed, const std::vector<std::string>& extra,
                               const ExistingInstall& existing, const fs::path& backup, std::int32_t fail_at,
                               const JournalContext* journal, const std::vector<std::string>& release_files) {
  CheckPayloadHasNoDataFiles(installed);
  for (const std::string& path : extra) {
    if (IsUnderDataFolder(path)) throw std::runtime_error("The installer cannot replace files under data/.");
  }

  CommitResult result;
  std::vector<std::string> plan;
  plan.reserve(installed.size() + extra.size());
  for (const InstalledFile& file : installed) plan.push_back(file.path);
  plan.insert(plan.end(), extra.begin(), extra.end());

  std::vector<CommitUndoEntry> undo;
  bool journal_written = false;
  try {
    // What each planned file replaces, decided before anything moves.
    std::vector<bool> exists;
    exists.reserve(plan.size());
    // The journal's reader judges the steps with the game's data it finds in
    // the installation; so does the commit.
    const std::vector<std::string> roots = FindGameDataRootsOfNames(installation);
    for (const std::string& path : plan) {
      const fs::path target = SafePayloadPath(installation, path);
      std::optional<ItemStatus> status = ReadItemStatus(target);
      // A step the journal reader would refuse could be moved but never
      // undone after a crash: the next recovery deletes such a journal.
      if (std::string why = WhyNoJournalStep(status ? 'r' : 'a', path, roots); !why.empty()) {
        AppendUpdateLog(installation, "the update cannot write " + path + ": it " + why);
        throw std::runtime_error("Unsafe payload path.");
      }
      // The name tests above judge the name as written; the move reaches
      // whatever the file system takes it for, a short 8.3 name of the
      // player's folder included.
      RequireStoredAsNamed(installation, path);
      if (status && status->directory) throw std::runtime_error("A folder is in the way of " + path + ".");
      exists.push_back(status.has_value());
    }

    std::vector<std::string> names = release_files;
    names.insert(names.end(), plan.begin(), plan.end());
    std::vector<std::string> leftovers;
    std::vector<bool> leftover_is_file;
    for (std::string& path : ListStaleInstallFiles(installation, existing, names, &result.messages)) {
      // A file the journal could not name is kept rather than removed unrecorded.
      if (!IsJournalStep('d', path, roots)) continue;
      leftover_is_file.push_back(IsRegularFile(SafePayloadPath(installation, path)));
      leftovers.push_back(std::move(path));
    }

    // The staged files are on the disk before the journal says "swapping":
    // after a power cut a file the commit renamed into place holds its data
    // (a repair's copy of the player's archive included), not a stretch of
    // zeros the rollback would take for the new file.
    for (const std::string& path : plan) FlushStagedFile(SafePayloadPath(staging, path), path);

    if (journal) {
      // A journal that appeared since this run's recovery is another run's
      // record of what to undo: it is neither replaced nor touched.
      if (!journal->may_replace_journal && ReadItemInfo(journal->journal_path)) {
        throw std::runtime_error(kAnotherRunMessage);
      }
      UpdateJournal record = SwappingJournal(*journal, staging, installation, backup);
      for (size_t i = 0; i < plan.size(); ++i) record.steps.push_back({exists[i] ? 'r' : 'a', plan[i]});
      for (size_t i = 0; i < leftovers.size(); ++i) {
        if (leftover_is_file[i]) record.steps.push_back({'d', leftovers[i]});
      }
      if (!WriteUpdateJournal(journal->journal_path, record)) {
        throw std::runtime_error("Could not write the update journal.");
      }
      // From here on the file at the journal path is this commit's own.
      journal_written = true;
      // Nothing moves unless the journal reads back as written: a journal its
      // reader refuses (a folder not beside the installation, a journal path
      // of another installation) is deleted by the next recovery, and with it
      // the only record of what to undo.
      if (!ReadsBackAs(journal->journal_path, record)) {
        throw std::runtime_error("Could not write the update journal.");
      }
    }

    std::int32_t step = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
      ThrowIfCancelled();
      UpdateTestHook(journal, step, fail_at);
      const std::string& path = plan[i];
      // The names were judged before anything moved, but a folder or file
      // this commit has just made answers to its short name from then on
      // ("NEW-~DFU" once "new-long-folder" exists): a later name of that
      // form would land in it. So each target is judged again as it moves.
      RequireStoredAsNamed(installation, path);
      if (exists[i]) MoveStagedFile(installation, backup, path);
      undo.push_back({path, false, exists[i]});
      const fs::path target = SafePayloadPath(installation, path);
      CreateFolders(ParentFolder(target));
      // Never over anything: a file that appeared at the place of an added
      // one in the meantime has no backup and must not be overwritten.
      RenameWithRetry(SafePayloadPath(staging, path), target, ExistingTarget::kRefuse);
      undo.back().new_in_place = true;
      ++(exists[i] ? result.replaced : result.added);
      if (i < installed.size()) ++(exists[i] ? result.release_replaced : result.release_added);
    }

    for (size_t i = 0; i < leftovers.size(); ++i) {
      UpdateTestHook(journal, step, fail_at);
      // Only what the journal names as deleted may leave the installation.
      if (!leftover_is_file[i] || !IsRegularFile(SafePayloadPath(installation, leftovers[i]))) continue;
      MoveStagedFile(installation, backup, leftovers[i]);
      undo.push_back({leftovers[i], false, true});
      ++result.removed;
    }
    for (const std::string& path : leftovers) PruneEmptyParents(installation, path);

    UpdateTestHook(journal, step, fail_at);
  } catch (const SimulatedCrash&) {
    throw;
  } catch (...) {
    const bool undone = UndoCommit(undo, staging, installation, backup);
    if (journal && undone && journal_written) ::DeleteFileW(ApiPath(journal->journal_path).c_str());
    throw;
  }
  return result;
}

}  // namespace qv::setup
