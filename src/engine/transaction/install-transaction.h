#pragma once
// The one transaction through which every change of an installation folder
// runs: a fresh installation, the repair or update of an installation or of a
// portable copy, the in-game update and the self tests. Five stages:
// preparation, building the staging folder, commit, verification with repair
// and summary, and the failure handling around them. Everything that differs
// between callers arrives in InstallHooks; the engine reports only through
// the process-wide hooks and the outcome.

#include <filesystem>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-queries.h"

namespace qv::setup {

// Installs or updates `destination` (as typed or chosen; made absolute) from
// the hooks' payload and, when needed, the player's game at `source` (a
// console package or game folder; may be empty). Returns normally with the
// outcome filled, or raises one exception whose text is a sentence for the
// user; the outcome is meaningless then. `queries` answer free space and
// writability (the system's unless a test presents others).
void RunInstallTransaction(InstallOutcome& outcome, const std::filesystem::path& source,
                           std::filesystem::path destination, bool create_shortcut, const InstallHooks& hooks,
                           const TransactionQueries& queries = SystemTransactionQueries());

}  // namespace qv::setup
