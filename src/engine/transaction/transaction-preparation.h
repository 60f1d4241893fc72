#pragma once
// First stage of the install transaction: everything that can refuse the run
// before a single file is written, in a fixed order (the destination and the
// caller's check of it, an interrupted earlier update, what the destination
// holds, where the game's own files come from, the setup file, writability,
// free space), ending with a new, empty staging folder beside the destination.

#include <filesystem>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-queries.h"
#include "engine/transaction/transaction-state.h"

namespace qv::setup {

// Settles the run's working values and creates its staging folder. Clears
// `outcome` once the destination has been probed (recovery_done set then).
// Nothing it did is undone when it fails. Raises, besides the callables' and
// services' own errors:
//   "Choose an installation folder." (empty destination);
//   "This run has no identifier that can name its temporary folders." (a
//     run_id that is empty or not one plain file-name element);
//   "The download folder must lie beside the installation, with a name that
//     starts with \".qv-update-dl-\".";
//   "This folder is not a Q.V. DU Vora portable copy (no qv-files.json naming the game).";
//   "The game archives of this install are missing or damaged. Select your Q.V. PKG
//     or dumped game folder to restore them.";
//   "At least 3 GB free space is required." / "At least 1 GB free space is required.";
//   "Could not create staging directory." (a folder of that name exists);
//   std::bad_function_call when a shortcut is asked for that the run would
//     create without a create_shortcut callable;
//   filesystem errors "create_directories", "create_directory" and the
//     queries' "space".
TransactionState PrepareTransaction(InstallOutcome& outcome, const std::filesystem::path& source,
                                    const std::filesystem::path& destination, bool create_shortcut,
                                    const InstallHooks& hooks, const TransactionQueries& queries);

}  // namespace qv::setup
