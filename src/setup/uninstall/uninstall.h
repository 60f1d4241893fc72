#pragma once
// Uninstalling an installation: ask the user, finish what earlier runs left,
// remove the desktop shortcut, the installed files and the uninstall entry,
// and say how many files went.
//
// Windows starts "qv-updater.exe" inside the installation for this. That
// process asks, then hands the work to a copy of itself in the temporary
// folder (started with "--silent --self-delete") and ends; the copy waits
// until "qv-updater.exe" can be deleted, removes everything without further
// boxes and finally has its own file deleted once it has ended.

#include <filesystem>
#include <functional>
#include <string>

#include "setup/uninstall/uninstall-messages.h"

namespace qv::setup {

struct UninstallServices {
  MessageAsker ask;                      // the message boxes
  std::filesystem::path own_executable;  // the running program's file; empty when unknown
  // Told each item the removal has just deleted, by its relative name
  // (RemovalHooks::removed); empty: nobody.
  std::function<void(const std::string& name)> removed;
};

// MessageBoxW and OwnExecutablePath().
UninstallServices SystemUninstallServices();

// How long the temporary copy waits for "qv-updater.exe" to become deletable:
// 30 tries, 100 ms apart.
inline constexpr int kUninstallerDeleteTries = 30;
inline constexpr int kUninstallerDeletePauseMs = 100;

// Uninstalls the installation in `folder`. Returns true only when the folder
// holds no installation (the error box unless `silent`; exit code 1), false
// otherwise: done, declined by the user, or handed to the temporary copy.
// `self_delete` marks the temporary copy. Under the installation's guard,
// before anything is removed, it finishes what earlier runs left as every run
// does: the update journal (RecoverInterruptedUpdate) and the temporary
// folders of killed runs beside the installation (RemoveAbandonedUpdateFolders).
// Raises what GuardInstallation, RecoverInterruptedUpdate, RemoveInstalledFiles
// and ReadInstallationToRemove raise, and "An earlier update could not be
// finished: its journal <path> and its folders beside the installation stay
// (the update log says why). Nothing was uninstalled." when the journal stays
// after the recovery; the temporary copy still has its file deleted then.
bool Uninstall(const std::filesystem::path& folder, bool silent, bool remove_data, bool self_delete,
               const UninstallServices& services = SystemUninstallServices());

}  // namespace qv::setup
