#include "setup/setup-window-role.h"

#include "setup/install-from-shortcut.h"
#include "setup/install.h"
#include "setup/outcome-summary.h"
#include "setup/window-thread.h"

namespace qv::setup {

std::wstring InstallAndSummarise(const InstallJob& job) {
  return FormatOutcomeSummary(Install(std::filesystem::path(job.source), std::filesystem::path(job.destination),
                                      job.createShortcut, /*register_uninstall=*/true));
}

SetupWindowHooks SystemSetupWindowHooks() {
  SetupWindowHooks hooks;
  hooks.run_install = InstallAndSummarise;
  hooks.pick_package = PickPackageFile;
  hooks.pick_folder = PickFolder;
  return hooks;
}

void RunDialogMessageLoop(HWND window) {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::IsDialogMessageW(window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

int RunSetupWindowRole(HINSTANCE instance, int show_command, SetupWindowHooks hooks) {
  WindowThread thread;
  HWND window = CreateSetupWindow(instance, std::move(hooks), DefaultInstallFolder(FindInstallFromShortcut()));
  if (window == nullptr) return 0;
  ::SetTimer(window, kUpdateCheckTimerId, kUpdateCheckIntervalMs, nullptr);
  ::ShowWindow(window, show_command);
  RunDialogMessageLoop(window);
  ReleaseSetupWindow();
  return 0;
}

}  // namespace qv::setup
