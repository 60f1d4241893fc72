#include "update/updater/updater-work.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/hooks.h"
#include "foundation/text/error-text.h"
#include "foundation/text/guid-text.h"
#include "foundation/text/text.h"
#include "foundation/win/elevation.h"
#include "update/update-test-mode.h"
#include "update/updater/elevated-relaunch.h"
#include "update/updater/game-wait.h"
#include "update/updater/updater-log.h"
#include "update/updater/updater-window.h"

namespace qv::setup::win_updater {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUnexpectedFailure = "the update ended with an unexpected error";

// The folder whose text is the game folder's up to its last separator.
fs::path FolderAbove(const fs::path& game_folder) {
  std::wstring text = game_folder.native();
  const std::size_t last = text.find_last_of(L"\\/");
  if (last == std::wstring::npos) return fs::path();
  text.resize(last);
  // "C:\Games" gives "C:"; the drive's root is meant.
  if (text.size() == 2 && text[1] == L':') text.push_back(L'\\');
  while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return fs::path(text);
}

// Both the game folder and the folder above it (where the update's temporary
// folders lie) must take a new folder and file.
bool GameFolderWritable(const fs::path& game_folder, const WorkerServices& services) {
  const std::string suffix = "updater-" + std::to_string(::GetCurrentProcessId());
  try {
    services.probe_writable(game_folder, suffix, "game folder");
    services.probe_writable(FolderAbove(game_folder), suffix, "folder above the game");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsInstalledCopy(const fs::path& game_folder) {
  return ReadItemStatus(game_folder / kInstallManifestName).has_value();
}

// Nothing before the game has ended; its exit code once it has.
ExitCodeQuery ExitCodeOf(HANDLE process) {
  return [process]() -> std::optional<std::int32_t> {
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code)) return std::nullopt;
    return static_cast<std::int32_t>(code);
  };
}

void LogUpdater(const State& state, const std::string& line) {
  AppendUpdaterLog(fs::path(state.arguments.game_folder), line);
}

// Hands the job to an elevated copy when the game folder cannot be written.
// True when it did (the outcome is then final); raises when it could not.
bool HandOverForRights(State& state, const WorkerServices& services, Outcome& outcome) {
  const fs::path game_folder(state.arguments.game_folder);
  if (GameFolderWritable(game_folder, services)) return false;
  if (!IsInstalledCopy(game_folder)) {
    // A portable copy lies wherever the player unpacked it; administrator
    // rights are not asked for on its behalf.
    LogUpdater(state, "the portable copy's folder is not writable; no elevation for a portable copy");
    return false;
  }
  // An elevated copy that still cannot write goes on and meets the real error.
  if (state.arguments.elevated) return false;
  if (qv::update::IsUpdateTestMode() && !qv::update::TestSwitchText(L"QV_UPDATE_TEST_NO_ELEVATE").empty()) {
    throw std::runtime_error("the game folder is not writable; elevation would be asked for (test)");
  }
  PostPhaseMessage(state, static_cast<int>(UpdatePhase::kWaitingForGame), true);
  int error = 0;
  if (services.relaunch_elevated(state.arguments, &error)) {
    outcome.kind = kOutcomeElevated;
    LogUpdater(state, "relaunched elevated");
    return true;
  }
  throw std::runtime_error(error == kConsentDeclined ? "administrator rights were not given"
                                                     : "could not ask for administrator rights");
}

// Another run of this installation is at work: it owns the journal and
// starts the game itself when it is done, so this run only reports.
void FailBesideAnotherRun(const State& state, Outcome& outcome) {
  outcome.kind = kOutcomeFailed;
  outcome.detail = kAnotherRunMessage;
  outcome.start_game = false;
  LogUpdater(state, "failed: " + outcome.detail);
}

// The update itself, as the run `run_id`. False with the outcome final when
// it failed.
bool RunUpdate(State& state, const std::string& run_id, Outcome& outcome, GameUpdateResult& result) {
  const fs::path game_folder(state.arguments.game_folder);
  PackageView package;
  try {
    GameUpdatePlatform platform = UpdaterPlatform(state, package);
    platform.run_id = run_id;  // the run the installation's guard marks
    result = ApplyGameUpdate(game_folder, platform, outcome.page);
    return true;
  } catch (const std::exception& error) {
    outcome.detail = UserErrorText(error);
  } catch (...) {
    outcome.detail = kUnexpectedFailure;
  }
  if (outcome.detail == kAnotherRunMessage) {
    FailBesideAnotherRun(state, outcome);
    return false;
  }
  // A journal left behind means files were moved and could not all be put
  // back: the next start finishes the rollback, and the game is not started
  // on a folder in between.
  std::optional<UpdateJournal> journal;
  try {
    journal = ReadUpdateJournal(UpdateJournalPath(game_folder));
  } catch (const std::exception&) {
    journal.reset();
  }
  outcome.kind = journal ? kOutcomeBroken : kOutcomeFailed;
  outcome.start_game = outcome.kind == kOutcomeFailed;
  LogUpdater(state, "failed: " + outcome.detail);
  return false;
}

// Starts the new version, waits for its confirmation and keeps or undoes the update.
void ConfirmOrRollBack(State& state, const WorkerServices& services, const fs::path& journal_path,
                       Outcome& outcome) {
  GameStart start =
      services.start_game(fs::path(state.arguments.game_folder), state.arguments.pass_through, services.is_elevated());
  if (!start.started) outcome.detail = "the new version could not be started";
  ExitCodeQuery exit_code_source;
  if (start.process) {
    exit_code_source = ExitCodeOf(start.process.get());
  } else if (!start.started) {
    exit_code_source = [] { return std::optional<std::int32_t>(1); };
  }
  std::int32_t exit_code = 0;
  const std::int32_t started = WaitForStartedVersion(journal_path, exit_code_source, services.start_confirmation_seconds,
                                                     &exit_code, services.start_poll_interval);
  start.process.reset();

  if (started == 0) {
    outcome.kind = kOutcomeUpdated;
    LogUpdater(state, FinishStartedUpdate(journal_path) ? "the new version started; backup removed"
                                                 : "the new version started; backup removed except files in use "
                                                   "(the game's next start removes them)");
    return;
  }
  if (started == 2) {
    outcome.kind = kOutcomeUnconfirmed;
    LogUpdater(state, "the new version's start was not confirmed; the backup stays until it starts");
    return;
  }
  if (outcome.detail.empty()) {
    outcome.detail = "the new version stopped at its start (exit code " + std::to_string(exit_code) + ")";
  }
  std::string error;
  if (RestorePreviousVersion(journal_path, &error)) {
    outcome.kind = kOutcomeRolledBack;
    outcome.start_game = true;
    LogUpdater(state, "rolled back: " + outcome.detail);
  } else {
    outcome.kind = kOutcomeBroken;
    outcome.detail += "; " + error;
    LogUpdater(state, "rollback failed: " + error);
  }
}

// The game has not closed: it is not started a second time beside itself.
void FailBesideRunningGame(const State& state, Outcome& outcome, const std::string& detail) {
  outcome.kind = kOutcomeFailed;
  outcome.detail = detail;
  outcome.start_game = false;
  LogUpdater(state, "failed: " + detail);
}

void Fail(const State& state, Outcome& outcome, const std::string& detail) {
  outcome.kind = kOutcomeFailed;
  outcome.detail = detail;
  outcome.start_game = true;
  LogUpdater(state, "failed: " + detail);
}

}  // namespace

WorkerServices::WorkerServices()
    : probe_writable([](const fs::path& folder, std::string_view suffix, const std::string& label) {
        ProbeWritableFolder(folder, suffix, label);
      }),
      is_elevated(IsProcessElevated),
      relaunch_elevated([](const Args& args, int* error) { return RelaunchElevated(args, error); }),
      start_game(StartGame) {}

std::string_view OutcomeWord(int kind) {
  switch (kind) {
    case kOutcomeUpdated:
      return "PASS updated";
    case kOutcomeRolledBack:
      return "FAIL rolled-back";
    case kOutcomeBroken:
      return "FAIL broken";
    case kOutcomeElevated:
      return "PASS elevated";
    case kOutcomeUnconfirmed:
      return "PASS unconfirmed";
    default:
      return "FAIL failed";
  }
}

void PostPhase(const State& state, UpdatePhase phase) {
  PostPhaseMessage(state, static_cast<int>(phase));
  LogUpdater(state, "phase " + std::to_string(static_cast<int>(phase)));
}

std::string UpdateSummaryLine(const GameUpdateResult& result) {
  const InstallOutcome& outcome = result.outcome;
  std::string line = "installed " + result.version + ": " + std::to_string(outcome.replaced) + " replaced, " +
                     std::to_string(outcome.added) + " added, " + std::to_string(outcome.unchanged) + " unchanged, " +
                     std::to_string(outcome.removed) + " removed, " + std::to_string(outcome.verified) + " checked, " +
                     std::to_string(outcome.repaired) + " fetched again; downloaded " +
                     std::to_string(result.bytes_downloaded) + " bytes in " +
                     CountOf(static_cast<std::uint64_t>(result.requests), "request", "requests") + " (" +
                     (result.parts ? "parts of the package" : "the whole package") + ")";
  if (outcome.title_picture_missing) line += ", title picture still missing";
  return line;
}

Outcome Work(State& state, const WorkerServices& services) {
  Outcome outcome;
  try {
    PostPhase(state, UpdatePhase::kWaitingForGame);
    switch (WaitForGameToClose(state.arguments.game_process_id, services.game_close_wait,
                               [] { return IsCancelRequested(); })) {
      case GameWaitEnd::kStillRunning:
        FailBesideRunningGame(state, outcome, "Q.V. is still running.");
        return outcome;
      case GameWaitEnd::kCancelled:
        FailBesideRunningGame(state, outcome, "Installation cancelled.");
        return outcome;
      case GameWaitEnd::kClosed:
        break;
    }
    // A Cancel pressed just as the game closed ends the run here, before an
    // elevated copy would start with a fresh flag and update anyway.
    ThrowIfCancelled();
    if (HandOverForRights(state, services, outcome)) return outcome;

    // From here to the end of the start confirmation no other run may touch
    // the installation: this run's journal and backup are its own.
    const std::string run_id = NewGuidText();
    std::optional<InstallationGuard> guard = TryGuardInstallation(fs::path(state.arguments.game_folder), run_id);
    if (!guard) {
      FailBesideAnotherRun(state, outcome);
      return outcome;
    }
    GameUpdateResult result;
    if (!RunUpdate(state, run_id, outcome, result)) return outcome;
    state.SetVersion(result.version);
    LogUpdater(state, UpdateSummaryLine(result));
    for (const std::string& message : result.outcome.sweep_messages) {
      LogUpdater(state, "frame generation unlock: " + message);
    }

    PostPhase(state, UpdatePhase::kStartingGame);
    const fs::path& kept = result.outcome.journal_path;
    ConfirmOrRollBack(state, services, kept.empty() ? UpdateJournalPath(fs::path(state.arguments.game_folder)) : kept,
                      outcome);
    const bool stays = outcome.kind == kOutcomeUpdated || outcome.kind == kOutcomeUnconfirmed;
    if (stays && services.installation_updated) {
      services.installation_updated(fs::path(state.arguments.game_folder), result.version);
    }
  } catch (const std::exception& error) {
    Fail(state, outcome, UserErrorText(error));
  } catch (...) {
    Fail(state, outcome, kUnexpectedFailure);
  }
  return outcome;
}

}  // namespace qv::setup::win_updater
