#include "routes/dlss5/dlss5-route-operation.h"

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-record.h"
#include "routes/dlss5/dlss5-route-state.h"
#include "routes/dlss5/dlss5-tool-source.h"
#include "routes/tool-digest.h"

namespace qv::setup {
namespace {

UpdaterText ActionText(RouteAction action) {
  switch (action) {
    case RouteAction::kReinstall:
      return UpdaterText::kReinstallingDlss5;
    case RouteAction::kRemove:
      return UpdaterText::kRemovingDlss5;
    default:
      return UpdaterText::kInstallingDlss5;
  }
}

// The tool must be exactly the release this installation expects: it runs on
// the game with the user's rights and changes files the game loads.
bool ToolAccepted(const win_route::State& state, const std::filesystem::path& tool, const RouteProgress& progress,
                  const Dlss5RouteSettings& settings) {
  const std::string actual = ToolDigestOrEmpty(tool);
  const std::string expected =
      ExpectedDlss5ToolDigest(ReadToolSourceLines(state.work_folder), BuiltInDlss5ToolDigest());
  if (actual == expected) return true;
  WriteRouteResult(state, -1,
                   "refused " + NativePathToUtf8(tool) + ": SHA-256 " + (actual.empty() ? "unreadable" : actual) +
                       ", expected " + expected);
  LogDlss5Route(state, "tool refused, SHA-256 " + actual + " expected " + expected, settings.view);
  ShowDlss5Failure(progress, settings);
  return false;
}

}  // namespace

void ShowDlss5Failure(const RouteProgress& progress, const Dlss5RouteSettings& settings, UpdaterText notice) {
  progress(notice);
  if (settings.sleep) {
    settings.sleep(settings.failure_pause);
  } else {
    ::Sleep(static_cast<DWORD>(settings.failure_pause.count()));
  }
}

int RunDlss5RouteOperation(win_route::State& state, const RouteProgress& progress,
                           const Dlss5RouteSettings& settings) {
  const RouteAction action = Dlss5Action(state);
  LogDlss5Route(state, Dlss5StartLine(state), settings.view);
  // A killed run's copy goes before anything can stop this run: a refused or
  // failing tool would otherwise leave it for good.
  DeleteLeftoverReShadeCopy(state);

  const std::filesystem::path tool = Dlss5ToolPath(state.work_folder);
  if (!ToolAccepted(state, tool, progress, settings)) return -1;
  progress(ActionText(action));

  // Read before the tool runs: removal decides by it after the tool is done.
  const std::string recorded_reshade = ReadRecordedReShadeHash(state);

  std::string last_line;
  const auto run = [&](bool remove, std::wstring_view log_name) {
    return RunAutopilotInstaller(state, tool, remove, log_name, last_line, settings.tool_time_limit, settings.view);
  };
  int exit_code = 0;
  switch (action) {
    case RouteAction::kReinstall:
      // The removing run's outcome does not stop the install: whatever it
      // left, the installing run puts the add-on back in place.
      run(true, L"autopilot-reinstall-remove.log");
      exit_code = run(false, L"autopilot-reinstall-install.log");
      break;
    case RouteAction::kRemove:
      exit_code = run(true, L"autopilot-remove.log");
      break;
    default:
      exit_code = run(false, L"autopilot-install.log");
      break;
  }

  if (action == RouteAction::kRemove) {
    // Whatever the tool's exit code: the route no longer stands behind the add-on.
    DeletePortReShade(state, recorded_reshade, settings.view);
    ::DeleteFileW(ApiPath(state.game_folder / kDlss5RouteRecordName).c_str());
  } else if (exit_code == 0) {
    progress(UpdaterText::kCheckingInstalledFiles);
    const PortReShade reshade = PutDownPortReShade(state, settings.copy_file, settings.view);
    LogDlss5Route(state,
                  reshade.sha256.empty()
                      ? "the port's own ReShade was not put down (" + reshade.reason + "); Autopilot's ReShade stays"
                      : "the port's own ReShade (no user interface) put down as dxgi.dll, sha256 " + reshade.sha256,
                  settings.view);
    WriteDlss5RouteRecord(state, reshade.sha256, settings.view);
  }

  WriteRouteResult(state, exit_code, last_line);
  LogDlss5Route(state, "installer exit " + std::to_string(exit_code) + ": " + last_line, settings.view);
  if (exit_code != 0) ShowDlss5Failure(progress, settings);
  return exit_code;
}

RouteQueueOperation Dlss5QueueOperation(const Dlss5RouteSettings& settings) {
  RouteQueueOperation operation;
  operation.run = [settings](const route_queue_win::Args& args, RouteAction action, const RouteProgress& progress) {
    win_route::State state = MakeDlss5RouteState(args, action);
    return RunDlss5RouteOperation(state, progress, settings);
  };
  operation.write_result = [](const route_queue_win::Args& args, RouteAction action, int exit_code,
                              const std::string& detail) {
    WriteRouteResult(MakeDlss5RouteState(args, action), exit_code, detail);
  };
  operation.remove_result = [](const route_queue_win::Args& args) {
    RemoveRouteResult(MakeDlss5RouteState(args, RouteAction::kInstall));
  };
  return operation;
}

}  // namespace qv::setup
