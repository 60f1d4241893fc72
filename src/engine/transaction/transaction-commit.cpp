#include "engine/transaction/transaction-commit.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-temp-folders.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/records/update-log.h"
#include "engine/transaction/staged-commit.h"
#include "engine/transaction/transaction-failure.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/tree-walk.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

// Whether anything, a dangling link included, is at the path.
bool AnythingAt(const std::filesystem::path& path) {
  if (::GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
  throw std::filesystem::filesystem_error("exists", path,
                                          std::error_code(static_cast<int>(code), std::system_category()));
}

// The version being replaced: the manifest's, else the release whose "qv.exe"
// is installed, else the caller's fallback.
std::string ReplacedVersion(const TransactionState& state, const InstallHooks& hooks) {
  std::string version = state.existing.version;
  const std::filesystem::path exe = state.destination / kGameExecutableName;
  if (version.empty() && hooks.hash_file && IsRegularFile(exe) && !IsLinkOrJunction(exe)) {
    try {
      version = PortVersionFromHash(hooks.hash_file(exe));
    } catch (const std::exception&) {
      version.clear();  // unnamed, as if no release matched
    }
  }
  return version.empty() ? hooks.fallback_previous_version : version;
}

// Ends the journal of a finished update so that no later recovery rolls it
// back: deleted, or else marked "swapped". False when it stays as "swapping".
bool RetireJournal(const std::filesystem::path& journal_path) {
  if (::DeleteFileW(ApiPath(journal_path).c_str()) || !ReadItemInfo(journal_path)) return true;
  std::optional<UpdateJournal> journal = ReadUpdateJournal(journal_path);
  if (!journal) return false;
  if (journal->state != kJournalSwapping) return true;
  journal->state = kJournalSwapped;
  return WriteUpdateJournal(journal_path, *journal);
}

}  // namespace

void CreateShortcutOrWarn(const std::filesystem::path& installation, InstallOutcome& outcome,
                          const InstallHooks& hooks) {
  try {
    hooks.create_shortcut(installation);
  } catch (const std::exception& error) {
    outcome.warnings.push_back(std::string("The desktop shortcut could not be created: ") + error.what());
  }
}

void CommitFreshInstall(TransactionState& state, InstallOutcome& outcome, bool create_shortcut,
                        const InstallHooks& hooks) {
  if (IsEmptyFolder(state.destination)) {
    if (std::error_code error = RemoveItem(state.destination)) {
      throw std::filesystem::filesystem_error("remove", state.destination, error);
    }
  }
  if (AnythingAt(state.destination)) {
    throw std::runtime_error("Choose a new installation folder. Existing folders are never overwritten.");
  }
  if (std::error_code error = RenameItem(state.staging, state.destination, ExistingTarget::kRefuse)) {
    throw std::filesystem::filesystem_error("rename", state.staging, state.destination, error);
  }
  if (create_shortcut) CreateShortcutOrWarn(state.destination, outcome, hooks);
}

void CommitUpdate(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks) {
  if (!hooks.portable_copy) state.staged_extras.push_back(WideToUtf8(kInstallManifestName));
  if (hooks.before_commit) hooks.before_commit();
  SendLogLine("Updating the program files...");
  outcome.updated = true;
  outcome.had_install_manifest = state.existing.has_manifest;
  outcome.previous_version = ReplacedVersion(state, hooks);

  state.journal_path = UpdateJournalPath(state.destination);
  JournalContext journal;
  journal.journal_path = state.journal_path;
  journal.old_version = outcome.previous_version;
  journal.new_version = hooks.new_version;
  journal.download = hooks.download_folder;
  journal.pid = hooks.process_id;
  journal.crash_at = -1;
  journal.pause_at = hooks.pause_at_step;
  journal.may_replace_journal = state.journal_kept_by_recovery;
  std::vector<std::string> kept;
  for (const InstalledFile& file : state.file_list) kept.push_back(file.path);

  CommitResult result;
  try {
    result = CommitStagedFiles(state.staging, state.destination, state.installed, state.staged_extras,
                               state.existing, state.backup, hooks.fail_at_step, &journal, kept);
  } catch (const std::filesystem::filesystem_error& error) {
    throw std::runtime_error(CommitFailureText(error, state));
  }
  state.committed = true;
  // The new version's files only, so that replaced, added and unchanged make
  // the files checked in every text about this update.
  outcome.replaced = result.release_replaced;
  outcome.added = result.release_added;
  outcome.removed = result.removed;
  outcome.sweep_messages = result.messages;
  for (const std::string& message : result.messages) outcome.notes.push_back("frame generation unlock: " + message);
}

void CloseUpdate(TransactionState& state, InstallOutcome& outcome, bool create_shortcut, const InstallHooks& hooks) {
  if (hooks.keep_journal) {
    if (std::optional<UpdateJournal> journal = ReadUpdateJournal(state.journal_path)) {
      journal->state = kJournalSwapped;
      WriteUpdateJournal(state.journal_path, *journal);  // a "swapping" journal left behind is rolled back in full
    }
    outcome.journal_path = state.journal_path;
    return;
  }
  if (RetireJournal(state.journal_path)) {
    RemoveStaleTemporary(state.parent, state.backup);
    RemoveStaleTemporary(state.parent, state.staging);
  } else {
    AppendUpdateLog(state.destination, "the update journal could not be removed; the previous version returns at "
                                       "the next start");
    outcome.warnings.push_back(
        "The update journal could not be removed, so the next start of the game or the setup restores the "
        "previous version.");
  }
  if (create_shortcut) CreateShortcutOrWarn(state.destination, outcome, hooks);
}

}  // namespace qv::setup
