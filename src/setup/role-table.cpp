#include "setup/role-table.h"

#include <filesystem>

#include "routes/route-queue-role.h"
#include "selftest/self-test-mode.h"
#include "setup/verify-integrity-mode.h"

namespace qv::setup {
namespace {

// The route parsers read the line as the shell's argument vector.
std::vector<const wchar_t*> ArgumentVector(const CommandLineArgs& args) {
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : args) argv.push_back(argument.c_str());
  return argv;
}

RoleRun RouteQueueRole(const CommandLineArgs& args) {
  const std::vector<const wchar_t*> argv = ArgumentVector(args);
  route_queue_win::Args parsed = ParseRouteQueueArgs(static_cast<int>(argv.size()), argv.data());
  if (!parsed.valid) return {};
  return [parsed] { return route_queue_win::RunQueue(parsed); };
}

}  // namespace

std::vector<RoleRow> SetupRoles([[maybe_unused]] const ProgramStart& start) {
  std::vector<RoleRow> roles;
  // Roles with parsers of their own come first and handle their own failures:
  // "--game-update", "--route-queue", "--dlss5-route", "--fg-route".
  roles.push_back({"route-queue", &RouteQueueRole});

  // Then the window capture ("--preview" <bmp>, exactly 3 arguments) and the
  // setup window (no arguments), also kRoleOwn.

  // Then "--uninstall" [options] [folder] (2 or more), kExitOne: its failures
  // write no file.

  // The test modes, each with its exact argument count, failures written to
  // the result file: "--install" (5), "--check-update" (3), "--range-test" (6,
  // only with test hooks on), then these two.
  roles.push_back(TestModeRow(L"--verify-integrity", 3, [](const CommandLineArgs& args) {
    return RunVerifyIntegrityMode(std::filesystem::path(args[2]));
  }));
  roles.push_back(TestModeRow(L"--self-test", 3, [](const CommandLineArgs& args) {
    RunSelfTestMode(std::filesystem::path(args[2]));
    return 0;
  }));
  return roles;
}

}  // namespace qv::setup
