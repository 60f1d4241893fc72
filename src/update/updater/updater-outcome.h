#pragma once
// How an updater run ended: what the updater worker hands to the window, the
// result dialog and the headless result file.

#include <string>

namespace qv::setup::win_updater {

// Outcome kinds.
inline constexpr int kOutcomeUpdated = 0;
inline constexpr int kOutcomeFailed = 1;
inline constexpr int kOutcomeRolledBack = 2;
inline constexpr int kOutcomeBroken = 3;
inline constexpr int kOutcomeElevated = 4;     // handed to the elevated copy
inline constexpr int kOutcomeUnconfirmed = 5;  // the new version's start was not confirmed

struct Outcome {
  // A run counts as failed until the worker reaches one of the other kinds.
  int kind = kOutcomeFailed;
  // English reason for the user and the result file.
  std::string detail;
  // Address of the release page, as the release document gave it.
  std::string page;
  // Start the game again once the outcome has been reported.
  bool start_game = false;
};

}  // namespace qv::setup::win_updater
