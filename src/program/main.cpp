// Entry point of the setup program. Every role of the program (setup window,
// updater, uninstaller, routes, test modes) is chosen from the command line here.

#include <windows.h>

#include "program/role-dispatch.h"
#include "program/role-table.h"
#include "setup/setup-hooks.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  qv::setup::AssignSetupHooks();
  qv::setup::CommandLineArgs args;
  if (!qv::setup::SplitCommandLine(::GetCommandLineW(), args)) return qv::setup::kExitUnrecognisedCommandLine;
  return qv::setup::DispatchRoles(qv::setup::SetupRoles({instance, show_command}), args);
}
