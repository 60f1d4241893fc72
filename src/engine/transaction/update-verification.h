#pragma once
// Fourth stage of the install transaction, run by an update while its journal
// is still in force: in the comparing mode every expected file is hashed
// again, files that differ are fetched a second time straight into the
// installation, and a difference that survives fails the run (which undoes
// the update). Every update then completes the progress and logs its summary.

#include <string>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-state.h"

namespace qv::setup {

// The check and repair of the comparing mode; sets verified and repaired.
// Raises UpdateCheckFailed (through FailDamagedUpdate) when files still
// differ after the repair, "The file to damage for the test is not a file of
// the new version: <path>." for a corrupt_after_commit outside the expected
// list (the player's files included), filesystem_error "create_directories" when the repair
// folder cannot be made, and the comparison's "Installation cancelled.".
void VerifyUpdatedFiles(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks);

// "update 1.0.2 to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed, all
// 655 files checked" and its variants (portable copy, unknown version, files
// fetched again).
std::string UpdateSummaryLine(const InstallOutcome& outcome, const InstallHooks& hooks, bool comparing);

// Completes the progress and appends the summary line to the update log.
void FinishUpdate(const TransactionState& state, const InstallOutcome& outcome, const InstallHooks& hooks);

}  // namespace qv::setup
