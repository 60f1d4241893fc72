#pragma once
// The setup's one way into the install engine: the setup window's worker and
// the "--install" test mode install or update through Install.

#include <filesystem>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-queries.h"

namespace qv::setup {

// The engine's options as the setup fills them: this setup's version, a new
// run identifier, its own payload, the package extraction helper, the desktop
// shortcut, the check of the setup file itself and the system's hasher; with
// the update test hooks on, also the test switches of the environment
// ("QV_UPDATE_TEST_FAIL_AT", "QV_UPDATE_TEST_PAUSE_AT",
// "QV_UPDATE_TEST_CORRUPT").
InstallHooks SetupInstallHooks();

// Refuses a destination as the user typed it, before anything is touched: one
// that is not a full path (it would land below the current folder), one with
// a device name in it ("CON", "nul.txt"; the sentence names the folder as
// typed) and one whose "qv.exe" path would reach 250 characters. An empty
// destination passes (the engine refuses it). Raises std::runtime_error with
// the sentence for the user.
void CheckDestinationAsTyped(const std::filesystem::path& destination);

// Installs into or updates `destination` from the player's game at `source`
// (may be empty for an update). Refuses what CheckDestinationAsTyped refuses
// before anything is touched; creates the desktop shortcut when asked
// (through the engine, once the installation is in place) and writes the
// uninstall entry when asked and the engine succeeded.
// Every failure is an exception whose text is a sentence for the user.
InstallOutcome Install(const std::filesystem::path& source, const std::filesystem::path& destination,
                       bool create_shortcut, bool register_uninstall,
                       const TransactionQueries& queries = SystemTransactionQueries());

}  // namespace qv::setup
