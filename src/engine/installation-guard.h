#pragma once
// One run at a time per installation. Every run that changes an installation
// (an update, an install or repair from the setup, an uninstall) holds the
// installation's guard from before it reads the update journal until it has
// finished, so that no run ever takes another live run's journal, backup or
// staging folder for abandoned. The guard is a named kernel object in the
// global namespace, seen from every logon session: it goes with the process
// that holds it, also when that process is killed, so a crash never leaves an
// installation locked. Only such an object proves a run alive: a process id
// comes back for another process soon after its own has ended.
//
// While it holds the guard, a run also marks its run identifier, so that the
// temporary folders of a live run (of this installation or of another one in
// the same parent folder) can be told from those a killed run left behind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

inline constexpr const char* kAnotherRunMessage = "Another update of this install is running.";

struct InstallationGuard {
  UniqueHandle installation;  // the installation's named object, created by this run
  UniqueHandle run;           // the mark of this run's identifier
};

// The guard of `installation` (compared in its weakly canonical form, letter
// case ignored) for the run `run_id`; nothing when another live run holds it
// (its guard exists, also when this process may not open it). Any other
// failure raises a sentence that says what failed: "Could not take this
// install's guard against other runs: another program holds its name <name>
// with an object of another kind.", or "... (<name>): <the system's text>.".
std::optional<InstallationGuard> TryGuardInstallation(const std::filesystem::path& installation,
                                                      std::string_view run_id);

// As above; raises "Another update of this install is running." when another
// live run holds the installation.
InstallationGuard GuardInstallation(const std::filesystem::path& installation, std::string_view run_id);

// Whether a live run holds the mark of `run_id`.
bool IsRunMarked(std::string_view run_id);

// The names of the installation's guard and of a run's mark ("Global\\"
// followed by the kind and a SHA-256 of the folder's canonical upper-case
// form or of the run identifier).
std::wstring InstallationGuardName(const std::filesystem::path& installation);
std::wstring RunMarkName(std::string_view run_id);

}  // namespace qv::setup
