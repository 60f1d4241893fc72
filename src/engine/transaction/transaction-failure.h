#pragma once
// How the install transaction fails: the clean-up guard around everything
// after the staging folder exists, the sentence for a commit that the file
// system stopped, and the undo of an update whose files are already in place
// when a later step fails.

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/install-hooks.h"
#include "engine/transaction/transaction-state.h"
#include "foundation/payload/payload-archive.h"

namespace qv::setup {

// The failure of an update whose files still differ after the repair; its
// undo has already been attempted.
struct UpdateCheckFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs `body`; when anything escapes it, removes the staging and repair
// folders and the backup folder, unless the backup holds a file (the
// installation's files are there and the journal's rollback needs them),
// then lets the same exception go on.
void RunWithCleanUpGuard(const TransactionState& state, const std::function<void()>& body);

// The sentence for a file-system error out of the commit: "Could not replace
// <the installed file's path>: it is in use (is Q.V. still running?). Close it
// and try again." followed by "Nothing was changed." when the commit's undo
// completed (no journal left), else by "The next start of the game or the
// setup restores the previous version.".
std::string CommitFailureText(const std::filesystem::filesystem_error& error, const TransactionState& state);

// Undoes a committed update through its journal: rolls back, removes the
// temporary folders and the journal. False with the reason in `message` when
// the journal is missing or the rollback failed (everything then stays for
// the next recovery).
bool RollBackCommittedUpdate(const TransactionState& state, std::string& message);

// The files of the new version still differ after the repair: undoes the
// update, logs "update to <version> failed its check: ..." and raises
// UpdateCheckFailed "<n> files of the new version did not install correctly
// (first: <name>). The previous version was restored." ("1 file of ..." for
// one; when the undo failed, "... The next start of the game or the setup
// restores the previous version.").
[[noreturn]] void FailDamagedUpdate(const TransactionState& state, const std::vector<PayloadEntry>& damaged,
                                    const InstallHooks& hooks);

// Runs `body`, a step after a successful commit; when it fails the update is
// undone at once (a cancel then leaves the previous version, not a new one
// that the next start would roll back). The exception goes on unchanged when
// the undo completed; a std::exception whose undo failed goes on as a
// std::runtime_error with "The next start of the game or the setup restores
// the previous version." appended.
void RunAfterCommit(const TransactionState& state, const InstallHooks& hooks, const std::function<void()>& body);

}  // namespace qv::setup
