#pragma once
// The body of the updater role: wait for the game to close, hand the job to
// an elevated copy when the game folder cannot be written, update, start the
// new version and wait for it to confirm its start, then keep the update or
// roll it back. And the report of how it ended.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "engine/journal/update-recovery.h"
#include "foundation/payload/package-view.h"
#include "update/game-update.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-args.h"
#include "update/updater/updater-outcome.h"
#include "update/updater/updater-state.h"

namespace qv::setup::win_updater {

// What the worker asks of the system, with the updater's own settings as
// defaults; tests replace single members.
struct WorkerServices {
  // How long the game may take to close before the update gives up.
  std::chrono::milliseconds game_close_wait{60000};
  // How long the new version has to confirm its start.
  std::int64_t start_confirmation_seconds = 120;
  std::chrono::milliseconds start_poll_interval = kStartPollInterval;
  // Raises when a folder cannot be written (ProbeWritableFolder).
  std::function<void(const std::filesystem::path& folder, std::string_view suffix, const std::string& label)>
      probe_writable;
  // Whether this process runs with administrator rights.
  std::function<bool()> is_elevated;
  // Starts the elevated copy; false with the Windows error when it could not.
  std::function<bool(const Args& args, int* error)> relaunch_elevated;
  // Starts the game (StartGame).
  std::function<GameStart(const std::filesystem::path& folder, const std::vector<std::wstring>& arguments,
                          bool elevated)>
      start_game;
  // Told the game folder and its new version once an update stays (started,
  // or its start not yet confirmed), so that what describes the installation
  // outside it follows; the program gives the uninstall entry's refresh.
  // Empty: nobody.
  std::function<void(const std::filesystem::path& folder, const std::string& version)> installation_updated;

  WorkerServices();
};

// The outcome words of the headless result file, by kind.
std::string_view OutcomeWord(int kind);

// Announces a phase: the phase message to the window (when there is one) and
// "phase N" in the updater log.
void PostPhase(const State& state, UpdatePhase phase);

// The services ApplyGameUpdate gets from the updater: a fresh braced run
// identifier, this process's id, the link check, the hashers, the package
// opened through `package` (which must outlive the update), the payload
// check, the process test, the player's download folders, the phases through
// PostPhase, the new version into the State as soon as the release is known,
// and in update test mode "QV_UPDATE_TEST_FAIL_AT".
GameUpdatePlatform UpdaterPlatform(State& state, PackageView& package);

// The updater log's line about a finished update run.
std::string UpdateSummaryLine(const GameUpdateResult& result);

// The whole update; never raises: every failure ends in the outcome.
Outcome Work(State& state, const WorkerServices& services = WorkerServices());

// Headless: writes the result file. Windowed: the result dialog for a failed,
// rolled-back or broken update. Then, when the outcome asks for it and the
// run is not headless, starts the game again.
void ReportOutcome(const State& state, const Outcome& outcome, const WorkerServices& services = WorkerServices());

}  // namespace qv::setup::win_updater
