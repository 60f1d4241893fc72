#pragma once
// Third stage of the install transaction, where the installation changes: a
// fresh installation appears by one rename of the whole staging folder (an
// existing folder is never written into); an update moves the staged files in
// one by one under the update journal (CommitStagedFiles), and once they are
// verified closes the journal, or keeps it for the caller's start
// confirmation.

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-state.h"

namespace qv::setup {

// Renames the staging folder to the destination (an empty real folder there
// is removed first), then creates the shortcut when asked. Raises "Choose a
// new installation folder. Existing folders are never overwritten." when
// anything else is at the destination, filesystem errors "remove", "exists"
// and "rename".
void CommitFreshInstall(TransactionState& state, InstallOutcome& outcome, bool create_shortcut,
                        const InstallHooks& hooks);

// Names the replaced version, writes the journal and commits the staged files
// (CommitStagedFiles); fills the outcome's update members and counts. A
// file-system error of the commit becomes CommitFailureText's sentence.
void CommitUpdate(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks);

// After a verified update: with keep_journal the journal is marked "swapped"
// and its path reported, the staging and backup folders stay; otherwise the
// journal goes, then the temporary folders, then the shortcut is made when
// asked. A journal that can be neither deleted nor marked finished keeps the
// folders (its rollback needs them) and leaves a warning in the outcome.
void CloseUpdate(TransactionState& state, InstallOutcome& outcome, bool create_shortcut, const InstallHooks& hooks);

// Calls create_shortcut; once the installation is in place, a failure is a
// warning in the outcome rather than a failure of the run.
void CreateShortcutOrWarn(const std::filesystem::path& installation, InstallOutcome& outcome,
                          const InstallHooks& hooks);

}  // namespace qv::setup
