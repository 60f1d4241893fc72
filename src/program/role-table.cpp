#include "program/role-table.h"

#include <filesystem>
#include <optional>

#include "foundation/win/process-helpers.h"
#include "routes/dlss5/dlss5-route-role.h"
#include "routes/fg/fg-route-role.h"
#include "routes/route-queue-role.h"
#include "selftest/range-test.h"
#include "selftest/self-test-mode.h"
#include "setup/modes/check-update-mode.h"
#include "setup/modes/install-mode.h"
#include "setup/modes/verify-integrity-mode.h"
#include "setup/uninstall-entry.h"
#include "setup/uninstall/uninstall-mode.h"
#include "setup/window/setup-window-role.h"
#include "setup/window/window-capture.h"
#include "update/update-test-mode.h"
#include "update/updater/updater-args-parser.h"
#include "update/updater/updater-run.h"

namespace qv::setup {
namespace {

// The route parsers read the line as the shell's argument vector.
std::vector<const wchar_t*> ArgumentVector(const CommandLineArgs& args) {
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : args) argv.push_back(argument.c_str());
  return argv;
}

RoleRun GameUpdateRole(const CommandLineArgs& args) {
  const std::vector<const wchar_t*> argv = ArgumentVector(args);
  std::optional<win_updater::Args> parsed = ParseUpdaterArgs(static_cast<int>(argv.size()), argv.data());
  if (!parsed) return {};
  return [parsed = *parsed] {
    win_updater::WorkerServices services;
    // The list of installed programs shows the version the update brought.
    services.installation_updated = RefreshUninstallEntry;
    return win_updater::Run(parsed, services);
  };
}

RoleRun RouteQueueRole(const CommandLineArgs& args) {
  const std::vector<const wchar_t*> argv = ArgumentVector(args);
  route_queue_win::Args parsed = ParseRouteQueueArgs(static_cast<int>(argv.size()), argv.data());
  if (!parsed.valid) return {};
  return [parsed] { return route_queue_win::RunQueue(parsed); };
}

RoleRun Dlss5RouteRole(const CommandLineArgs& args) {
  const std::vector<const wchar_t*> argv = ArgumentVector(args);
  Dlss5RouteArgs parsed = ParseDlss5RouteArgs(static_cast<int>(argv.size()), argv.data());
  if (!parsed.valid) return {};
  return [parsed] { return RunDlss5Route(parsed); };
}

RoleRun FgRouteRole(const CommandLineArgs& args) {
  const std::vector<const wchar_t*> argv = ArgumentVector(args);
  fg_route::Args parsed = ParseFgRouteArgs(static_cast<int>(argv.size()), argv.data());
  if (!parsed.valid) return {};
  return [parsed] { return fg_route::RunRoute(parsed); };
}

// "--uninstall" [options] [folder]; without a folder, the one the program lies in.
RoleRun UninstallRole(const CommandLineArgs& args) {
  std::optional<UninstallArgs> parsed = ParseUninstallArgs(args, OwnExecutablePath());
  if (!parsed) return {};
  return [parsed = std::move(*parsed)] { return RunUninstall(parsed); };
}

}  // namespace

// One row per role, in the order the command line is offered to them; the
// first row that takes the line runs. Roles with parsers of their own add a
// row whose parser returns the run with the parsed record captured, e.g.
//   {"game-update", [](const CommandLineArgs& args) -> RoleRun {
//      auto parsed = ...;  // not this role's line: return {};
//      return [parsed] { return ...; };
//    }, FailureHandling::kRoleOwn},
// test modes a TestModeRow with their word, exact argument count and runner.
std::vector<RoleRow> SetupRoles(const ProgramStart& start) {
  std::vector<RoleRow> roles;

  // 1. The updater ("--game-update"), the route queue ("--route-queue"), the
  //    DLSS 5 route ("--dlss5-route") and the frame-generation route
  //    ("--fg-route"), each by its own parser; kRoleOwn.
  roles.push_back({"game-update", &GameUpdateRole, FailureHandling::kRoleOwn});
  roles.push_back({"route-queue", &RouteQueueRole, FailureHandling::kRoleOwn});
  roles.push_back({"dlss5-route", &Dlss5RouteRole, FailureHandling::kRoleOwn});
  roles.push_back({"fg-route", &FgRouteRole, FailureHandling::kRoleOwn});

  // 2. The window capture ("--preview" <bmp>, exactly 3 arguments) and the
  //    setup window (no arguments). Both report nothing but their exit code.
  roles.push_back({"preview",
                   [start](const CommandLineArgs& args) -> RoleRun {
                     if (args.size() != 3 || args[1] != L"--preview") return {};
                     std::filesystem::path bmp(args[2]);
                     return [start, bmp] { return CaptureSetupWindow(start.instance, bmp); };
                   },
                   FailureHandling::kRoleOwn});
  roles.push_back({"setup-window",
                   [start](const CommandLineArgs& args) -> RoleRun {
                     if (args.size() >= 2) return {};
                     return [start] {
                       return RunSetupWindowRole(start.instance, start.show_command, SystemSetupWindowHooks());
                     };
                   },
                   FailureHandling::kRoleOwn});

  // 3. "--uninstall" [options] [folder] (2 or more arguments); kExitOne: its
  //    last argument is a folder or an option, never a result file.
  roles.push_back({"uninstall", &UninstallRole, FailureHandling::kExitOne});

  // 4. The test modes, each with its exact argument count; failures go to the
  //    result file: "--install" (5), then "--check-update" (3) and
  //    "--range-test" (6, only while IsUpdateTestMode() answers true), then
  //    the last two.
  roles.push_back(TestModeRow(L"--install", 5, [](const CommandLineArgs& args) {
    return RunInstallMode(std::filesystem::path(args[2]), std::filesystem::path(args[3]),
                          std::filesystem::path(args[4]));
  }));
  roles.push_back(TestModeRow(L"--check-update", 3, [](const CommandLineArgs& args) {
    return RunCheckUpdateMode(std::filesystem::path(args[2]));
  }));
  roles.push_back(TestModeRow(
      L"--range-test", 6,
      [](const CommandLineArgs& args) {
        return RunRangeTestMode(args[2], std::filesystem::path(args[3]), std::filesystem::path(args[4]),
                                std::filesystem::path(args[5]));
      },
      [] { return qv::update::IsUpdateTestMode(); }));
  roles.push_back(TestModeRow(L"--verify-integrity", 3, [](const CommandLineArgs& args) {
    return RunVerifyIntegrityMode(std::filesystem::path(args[2]));
  }));
  // The self test writes its own result, failures included (through the
  // guard), and raises nothing; its exit code is the process's.
  roles.push_back(TestModeRow(L"--self-test", 3, [](const CommandLineArgs& args) {
    return RunSelfTestMode(std::filesystem::path(args[2]));
  }));
  return roles;
}

}  // namespace qv::setup
