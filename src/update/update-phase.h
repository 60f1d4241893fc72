#pragma once
// The steps of a game update as the updater window shows them. The numbers
// travel as the wParam of the phase message and name the phase in the log.

namespace qv::setup {

enum class UpdatePhase : int {
  kWaitingForGame = 0,
  kChecking = 1,
  kDownloading = 2,
  kVerifying = 3,
  kInstalling = 4,
  kStartingGame = 5,
};

}  // namespace qv::setup
