#include "setup/uninstall/uninstall.h"

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/journal/update-temp-folders.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/guid-text.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "setup/desktop-shortcut.h"
#include "setup/inside-folder.h"
#include "setup/uninstall-entry.h"
#include "setup/uninstall/installed-files-removal.h"
#include "setup/uninstall/uninstall-handoff.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The temporary copy starts while the process that started it may still be
// ending: "qv-updater.exe" stays undeletable until then. The removal deletes
// it among its last names, so that an uninstall stopped before then leaves
// the entry's uninstaller in place; the copy waits for it there.
std::error_code RemoveUninstallerOnceItHasEnded(const fs::path& uninstaller) {
  std::error_code error;
  for (int attempt = 0; attempt < kUninstallerDeleteTries; ++attempt) {
    if (attempt > 0) ::Sleep(kUninstallerDeletePauseMs);
    error = RemoveItem(uninstaller);
    if (!error) break;
  }
  return error;  // still there: counted as failed
}

// Whether the folder still reads as an installation after the removal (a
// record that could not be deleted, or one that cannot be read).
bool StillAnInstallation(const fs::path& installation) {
  try {
    return ReadInstallationToRemove(installation).has_value();
  } catch (const std::exception&) {
    return true;
  }
}

// What earlier runs left goes as every run finishes it, before anything is
// removed: an update cut short while it moved files is rolled back (so that
// the removal finds the files its records name), or the uninstall is refused
// as recovery refuses it; a finished update's folders go with its journal;
// then the folders of killed runs beside the installation. A journal that
// stays holds the record of files that only its folders keep: the uninstall
// would leave them beside the installation with nothing to name them.
void FinishEarlierRuns(const fs::path& installation, std::string_view run_id) {
  RecoverInterruptedUpdate(installation);
  const fs::path journal = UpdateJournalPath(installation);
  if (ReadItemInfo(journal)) {
    throw std::runtime_error("An earlier update could not be finished: its journal " + NativePathToUtf8(journal) +
                             " and its folders beside the installation stay (the update log says why). Nothing "
                             "was uninstalled.");
  }
  RemoveAbandonedUpdateFolders(installation, run_id);
}

// Everything after the question, in the process that does the work.
void RemoveInstallation(const fs::path& installation, bool silent, bool remove_data, bool self_delete,
                        const UninstallServices& services) {
  // Not while an install or update of the folder runs: its journal and
  // backup would lose their installation under it.
  const std::string run_id = NewGuidText();
  const InstallationGuard guard = GuardInstallation(installation, run_id);
  // Before "qv-updater.exe" goes: a refused uninstall leaves the installation
  // with its uninstaller.
  FinishEarlierRuns(installation, run_id);
  // The shortcut first: it is recognised by the installation it leads to.
  RemoveDesktopShortcut(installation);
  RemovalHooks hooks{services.removed, {}};
  if (self_delete) hooks.remove_uninstaller = RemoveUninstallerOnceItHasEnded;
  const RemovalCounts counts = RemoveInstalledFiles(installation, remove_data, SystemView(), hooks);
  // The entry goes only once the records have: while the folder still reads
  // as an installation, the entry starts the uninstall that finishes it.
  if (!StillAnInstallation(installation)) DeleteUninstallEntry(installation);
  // The temporary copy tells it too: for the user it is the uninstaller they
  // started from the list of installed programs.
  if (!silent) services.ask(UninstalledMessage(counts.removed), MB_ICONINFORMATION);
}

// Uninstall without the temporary copy's final self-deletion.
bool UninstallHere(const fs::path& folder, bool silent, bool remove_data, bool self_delete,
                   const UninstallServices& services) {
  const fs::path installation = NormalAbsolutePath(folder);
  if (!ReadInstallationToRemove(installation)) {
    if (!silent) services.ask(NoInstallationMessage(installation), MB_ICONERROR);
    return true;
  }
  // The temporary copy was started only after the user said Yes.
  if (!silent && !self_delete &&
      services.ask(UninstallQuestion(installation, remove_data), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return false;
  }
  const fs::path& own = services.own_executable;
  if (!self_delete && !own.empty() && IsInsideFolder(own, installation) &&
      HandOffToTemporaryCopy(own, installation, remove_data, silent)) {
    return false;  // the copy does the rest
  }
  RemoveInstallation(installation, silent, remove_data, self_delete, services);
  return false;
}

}  // namespace

UninstallServices SystemUninstallServices() { return {ShowUninstallMessage, OwnExecutablePath(), {}}; }

bool Uninstall(const fs::path& folder, bool silent, bool remove_data, bool self_delete,
               const UninstallServices& services) {
  if (!self_delete) return UninstallHere(folder, silent, remove_data, self_delete, services);
  // The temporary copy leaves nothing behind, whatever happens to the removal.
  bool no_installation = false;
  try {
    no_installation = UninstallHere(folder, silent, remove_data, self_delete, services);
  } catch (...) {
    StartSelfDeletion(services.own_executable);
    throw;
  }
  StartSelfDeletion(services.own_executable);
  return no_installation;
}

}  // namespace qv::setup
