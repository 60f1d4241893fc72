#include "setup/uninstall/uninstall.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/journal/update-temp-folders.h"
#include "engine/records/update-log.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/item-status.h"
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
// would leave them beside the installation with nothing to name them; so
// does one that a repair set aside.
void FinishEarlierRuns(const fs::path& installation, std::string_view run_id) {
  RecoverInterruptedUpdate(installation);
  if (AnyJournalKept(installation)) {
    throw std::runtime_error(KeptJournalText(installation) + " Nothing was uninstalled.");
  }
  RemoveAbandonedUpdateFolders(installation, run_id);
}

// What is left beside the installation with the temporary prefixes: a live
// run's folders, and backups that no journal names (they may hold the only
// copy of a file). Nothing is removed; each is named in the update log, and
// in the closing message unless silent.
std::string NameLeftovers(const fs::path& installation) {
  const fs::path parent = ParentFolder(installation);
  std::vector<std::string> names;
  for (const FolderEntry& entry : ListEntries(parent)) {
    const std::string name = WideToUtf8(entry.name);
    if (name.rfind(".qv-", 0) == 0) names.push_back(NativePathToUtf8(parent / entry.name));
  }
  if (names.empty()) return {};
  std::sort(names.begin(), names.end());
  std::string text = "These folders beside the installation were kept, for they may hold the only copy of a file "
                     "or belong to a run of Q.V. Setup that still works: ";
  for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
  text += ".";
  AppendUpdateLog(installation, "the uninstall kept " + std::to_string(names.size()) +
                                    " folder(s) beside the installation: " + text);
  return text;
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
  const std::string leftovers = NameLeftovers(installation);
  if (!silent) {
    std::wstring message = UninstalledMessage(counts.removed);
    if (!leftovers.empty()) message += L"\n\n" + Utf8ToWide(leftovers);
    services.ask(message, MB_ICONINFORMATION);
  }
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
