#include "engine/transaction/transaction-preparation.h"

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <system_error>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "gamesource/game-source.h"
#include "gamesource/known-titles.h"
#include "gamesource/title-folders.h"

namespace qv::setup {
namespace {

std::filesystem::path BesideDestination(const TransactionState& state, std::string_view prefix,
                                        const std::string& run_id) {
  return state.parent / PathFromUtf8(std::string(prefix) + run_id);
}

// The run's temporary folders and the download folder must be what the
// journal reader takes back: a journal it refuses is deleted by the next
// recovery, and with it the only record of what to undo. The run identifier
// is thus one plain file-name element, and a download folder lies beside the
// destination with the download prefix (compared, as the reader does, in the
// weakly canonical form).
void RequireJournalFolders(const std::filesystem::path& destination, const InstallHooks& hooks) {
  bool usable = false;
  try {
    usable = IsSafeRelativePath(hooks.run_id) && hooks.run_id.find_first_of("/\\") == std::string::npos;
  } catch (const std::system_error&) {
  }
  if (!usable) throw std::runtime_error("This run has no identifier that can name its temporary folders.");
  if (hooks.download_folder.empty()) return;
  std::error_code error;
  const std::filesystem::path install = WeaklyCanonicalPath(destination, error);
  const std::filesystem::path download =
      error ? std::filesystem::path() : WeaklyCanonicalPath(NormalAbsolutePath(hooks.download_folder), error);
  if (error || !IsUpdateTempFolder(install, download, kUpdateDownloadPrefix)) {
    throw std::runtime_error(
        "The download folder must lie beside the installation, with a name that starts with \".qv-update-dl-\".");
  }
}

// Recovery runs before the probe, so that the probe sees the folder as the
// recovery left it. Then the staging and download folders that killed runs
// left beside it go, unless a journal still lies there to name them.
bool RecoverEarlierUpdate(TransactionState& state, const InstallHooks& hooks) {
  const std::filesystem::path journal = UpdateJournalPath(state.destination);
  const bool recovered = AnyJournalKept(state.destination) && RecoverInterruptedUpdate(state.destination);
  // A journal that recovery kept is the record of files only its folders
  // hold (or of folders not yet removed): this run's journal must not take
  // its place. It is set aside for later runs to finish; only when it cannot
  // be moved does the run stop, with a sentence the user can act on.
  if (ReadItemInfo(journal) && SetAsideKeptJournal(state.destination, hooks.run_id).empty()) {
    throw std::runtime_error(KeptJournalText(state.destination));
  }
  state.journal_kept_by_recovery = ReadItemInfo(journal).has_value();
  RemoveAbandonedUpdateFolders(state.destination, hooks.run_id);
  return recovered;
}

ExistingInstall ProbeDestination(const std::filesystem::path& destination, const InstallHooks& hooks) {
  if (!hooks.portable_copy) return ReadExistingInstall(destination);
  ExistingInstall existing = ProbePortableCopy(destination, hooks.hash_file);
  if (!existing.is_install) {
    throw std::runtime_error(
        "This folder is not a Q.V. DU Vora portable copy (no qv-files.json naming the game).");
  }
  return existing;
}

// A finished installation must not fail for want of its shortcut callable, so
// a run that would need one and has none is refused before it starts.
void RequireShortcutCallable(bool create_shortcut, const TransactionState& state, const InstallHooks& hooks) {
  const bool creates_shortcut = create_shortcut && !(state.existing.is_install && hooks.keep_journal);
  if (creates_shortcut && !hooks.create_shortcut) throw std::bad_function_call();
}

void SettleGameSource(TransactionState& state, const std::filesystem::path& source, const InstallHooks& hooks) {
  if (state.existing.is_install && !hooks.portable_copy) {
    std::string found = FindTitleFolder(state.destination);
    if (!found.empty()) {
      state.title_folder_name = std::move(found);  // the game's archives are in place
      return;
    }
  }
  state.title_folder_name = std::string(DefaultTitleId);
  if (hooks.portable_copy) return;
  if (state.existing.is_install && source.empty()) {
    throw std::runtime_error(
        "The game archives of this install are missing or damaged. Select your Q.V. PKG or dumped game folder "
        "to restore them.");
  }
  state.game_source = ResolveGameSource(source);
}

void RequireFreeSpace(const TransactionState& state, const TransactionQueries& queries) {
  const std::uint64_t available = queries.available_space(state.parent);
  if (state.game_source && available < kSpaceWithGameFiles) {
    throw std::runtime_error("At least 3 GB free space is required.");
  }
  if (!state.game_source && available < kSpaceWithoutGameFiles) {
    throw std::runtime_error("At least 1 GB free space is required.");
  }
}

void CreateStagingFolder(const std::filesystem::path& staging) {
  if (::CreateDirectoryW(ApiPath(staging).c_str(), nullptr)) return;
  const DWORD code = ::GetLastError();
  // Never reuse a folder of that name: it may hold another run's files.
  if (code == ERROR_ALREADY_EXISTS) throw std::runtime_error("Could not create staging directory.");
  throw std::filesystem::filesystem_error("create_directory", staging,
                                          std::error_code(static_cast<int>(code), std::system_category()));
}

}  // namespace

TransactionState PrepareTransaction(InstallOutcome& outcome, const std::filesystem::path& source,
                                    const std::filesystem::path& destination, bool create_shortcut,
                                    const InstallHooks& hooks, const TransactionQueries& queries) {
  if (destination.empty()) throw std::runtime_error("Choose an installation folder.");
  TransactionState state;
  state.destination = NormalAbsolutePath(destination);
  hooks.validate_destination(state.destination);
  RequireJournalFolders(state.destination, hooks);
  const bool recovered = RecoverEarlierUpdate(state, hooks);
  state.existing = ProbeDestination(state.destination, hooks);
  outcome = InstallOutcome{};
  outcome.recovery_done = recovered;
  RequireShortcutCallable(create_shortcut, state, hooks);
  state.parent = ParentFolder(state.destination);
  SettleGameSource(state, source, hooks);

  SendLogLine("Verifying the setup file...");
  hooks.verify_setup();

  CreateFolders(state.parent);
  queries.probe_writable(state.parent, hooks.run_id, "installation parent folder");
  if (state.existing.is_install) {
    queries.probe_writable(state.destination, hooks.run_id, "existing installation folder");
    EnsureGameDataFolder(state.destination, hooks.run_id, hooks.validate_destination);
  }
  RequireFreeSpace(state, queries);

  const bool update = state.existing.is_install;
  state.staging = BesideDestination(state, update ? kUpdateStagingPrefix : kInstallStagingPrefix, hooks.run_id);
  state.backup = BesideDestination(state, kUpdateBackupPrefix, hooks.run_id);
  state.repair = BesideDestination(state, kUpdateRepairPrefix, hooks.run_id);
  CreateStagingFolder(state.staging);
  return state;
}

}  // namespace qv::setup
