#pragma once
// Where the installation's records say the player's game came from, and the
// pictures taken from it: the title picture in the title folder and the icon
// of the desktop shortcut. Part of building the staging folder.

#include <filesystem>
#include <string>
#include <vector>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-state.h"

namespace qv::setup {

struct SourceRecord {
  // Places that may name the player's game, best first: the resolved game
  // source, the path the caller was given, the source the old manifest named
  // (the last two only when they exist outside the installation).
  std::vector<std::filesystem::path> candidates;
  // The install manifest's "source=": the first candidate, absolute, '/'
  // separators; else what the old manifest said.
  std::string text;
};

SourceRecord FindSourceRecord(const TransactionState& state, const std::filesystem::path& source);

// Unless the installation has its title picture (or is a portable copy), takes
// "pic1.png" from the first candidate that has one, else from a dumped game
// found beside the installation or in the hooks' search folders (which may
// then name the source), and stages it as "<title folder>/sce_sys/pic1.png".
// Sets title_picture_missing when none was found.
void StageTitlePicture(TransactionState& state, InstallOutcome& outcome, SourceRecord& record,
                       const InstallHooks& hooks);

// Stages the first candidate's "icon0.png" for the shortcut, when it has one.
void StageShortcutIcon(TransactionState& state, const SourceRecord& record);

}  // namespace qv::setup
