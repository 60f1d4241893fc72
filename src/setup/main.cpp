// Entry point of the setup program. Every role of the program (setup window,
// updater, uninstaller, routes, test modes) is chosen from the command line here.

#include <windows.h>
#include <shellapi.h>

#include "foundation/unique-handle.h"

namespace {

constexpr int kExitUnknownCommandLine = 2;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv) return kExitUnknownCommandLine;
  // No role is recognised yet: every command line is unknown.
  return kExitUnknownCommandLine;
}
