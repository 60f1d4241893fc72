#pragma once
// The setup role: what the program does when started without arguments.

#include <windows.h>

#include <optional>
#include <string>

#include "setup/window/setup-window.h"
#include "update/release-info.h"
#include "update/update-checker.h"

namespace qv::setup {

// The worker's job in the real window: Install with the uninstall entry,
// then the summary of its outcome.
std::wstring InstallAndSummarise(const InstallJob& job);

// The notice label's text for a newer release: "Version <version> is
// available: <address>"; empty when there is none.
std::wstring NewerReleaseNotice(const std::optional<qv::update::Release>& release);

// The hooks that start `checker` (with no installation folder) and poll it
// for the notice.
void UseUpdateChecker(SetupWindowHooks& hooks, qv::update::Checker& checker);

// The hooks of the real setup window: the system's dialogs, the install of
// the setup's own payload, the process-wide update check.
SetupWindowHooks SystemSetupWindowHooks();

// Builds and shows the setup window, starts the update check and runs the
// message loop until the window is closed; joins a worker that is still
// running and releases the window. Returns the exit code, 0.
int RunSetupWindowRole(HINSTANCE instance, int show_command, SetupWindowHooks hooks);

// The message loop of a window of this thread: each message goes to the
// dialog manager first (Tab, Enter, Escape). Ends at WM_QUIT.
void RunDialogMessageLoop(HWND window);

}  // namespace qv::setup
