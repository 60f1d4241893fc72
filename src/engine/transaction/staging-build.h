#pragma once
// Second stage of the install transaction: fills the empty staging folder with
// everything the installation is to receive (the port's files, all of them or
// in the comparing mode only those that differ; the game's files when a game
// source is used; notes, title picture, shortcut icon, install manifest),
// plans the run's progress and lists what the commit moves. Nothing in the
// destination changes here.

#include <filesystem>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-state.h"

namespace qv::setup {

// Builds the staging folder and fills the state's lists and the outcome's
// unchanged, bytes_to_write, notes, archives_restored and title_picture_missing.
// Ends with the engine's last cancel check before the installation is touched
// ("Installation cancelled."). Every error propagates; the caller discards
// the staging folder.
void BuildStagingFolder(TransactionState& state, InstallOutcome& outcome, const std::filesystem::path& source,
                        bool create_shortcut, const InstallHooks& hooks);

}  // namespace qv::setup
