#include "update/updater/updater-run.h"

#include "foundation/hooks.h"
#include "foundation/result-file.h"
#include "foundation/text/text.h"
#include "update/build-identity.h"
#include "update/environment-text.h"
#include "update/update-test-mode.h"
#include "update/updater/updater-log.h"
#include "update/updater/updater-window.h"

namespace qv::setup::win_updater {
namespace {

// The role's one state lives as long as the process; a second run in the
// same process (the tests) starts from a fresh copy of its values.
State& RoleState() {
  static State state;
  return state;
}

void ResetState(State& state, const Args& args) {
  state.arguments = args;
  state.window = state.status = state.progress = state.cancel_button = nullptr;
  state.font.reset();
  state.cancel_requested = false;
  state.last_permille = -1;
  state.SetVersion("");
  state.phase = 0;
  state.percent = -1;
  state.headless = false;
  state.result_file.clear();
}

void AssignHooks() {
  CancelHook = [] {
    const State* state = CurrentState();
    return state != nullptr && state->cancel_requested.load();
  };
  LogLineHook = nullptr;
  ProgressHook = [](std::uint64_t done, std::uint64_t total) {
    if (State* state = CurrentState()) PostProgress(*state, done, total);
  };
}

}  // namespace

int Run(const Args& args, const WorkerServices& services, HINSTANCE instance) {
  State& state = RoleState();
  ResetState(state, args);
  SetCurrentState(&state);

  const std::string result_file = qv::update::IsUpdateTestMode() ? qv::update::EnvironmentText("QV_UPDATE_TEST_RESULT") : "";
  if (!result_file.empty()) {
    state.headless = true;
    state.result_file = Utf8ToWide(result_file);
    // As in every test mode: a folder, a link or a large file at the result
    // path is never replaced, and then nothing is updated either.
    if (!ResultFileAcceptable(std::filesystem::path(state.result_file))) return 1;
  }
  AssignHooks();
  AppendUpdaterLog(std::filesystem::path(args.game_folder),
                   "updater started for " + std::string(qv::update::CurrentVersion()) +
                       (args.elevated ? " (elevated)" : ""));

  if (!state.headless) {
    // The window runs the worker and reports its outcome on its own thread.
    WindowJobs jobs;
    jobs.work = [&services](State& running) { return Work(running, services); };
    jobs.report = [&services](State& running, const Outcome& outcome) { ReportOutcome(running, outcome, services); };
    return RunUpdaterWindow(state, instance, std::move(jobs));
  }
  const Outcome outcome = Work(state, services);
  ReportOutcome(state, outcome, services);
  return outcome.kind == kOutcomeUpdated || outcome.kind == kOutcomeElevated ? 0 : 1;
}

}  // namespace qv::setup::win_updater
