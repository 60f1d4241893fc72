#include "setup/window/setup-window-role.h"

#include "foundation/logger.h"
#include "foundation/net/url.h"
#include "foundation/text/text.h"
#include "foundation/win/window-thread.h"
#include "setup/install-from-shortcut.h"
#include "setup/install/install.h"
#include "setup/window/outcome-summary.h"

namespace qv::setup {

std::wstring InstallAndSummarise(const InstallJob& job) {
  return FormatOutcomeSummary(Install(std::filesystem::path(job.source), std::filesystem::path(job.destination),
                                      job.createShortcut, /*register_uninstall=*/true));
}

std::wstring NewerReleaseNotice(const std::optional<qv::update::Release>& release) {
  if (!release) return {};
  // The address as every message shows one: without a name and password.
  return L"Version " + Utf8ToWide(release->version) + L" is available: " + Utf8ToWide(UrlForMessage(release->url));
}

void UseUpdateChecker(SetupWindowHooks& hooks, qv::update::Checker& checker) {
  hooks.start_update_check = [&checker] { checker.Start({}); };
  hooks.update_check_done = [&checker] { return checker.Done(); };
  hooks.update_notice = [&checker] { return NewerReleaseNotice(checker.Result()); };
}

SetupWindowHooks SystemSetupWindowHooks() {
  SetupWindowHooks hooks;
  hooks.run_install = InstallAndSummarise;
  hooks.pick_package = PickPackageFile;
  hooks.pick_folder = PickFolder;
  UseUpdateChecker(hooks, qv::update::TheUpdateChecker());
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
  if (window == nullptr) {
    Log(LogLevel::kError, "the setup window could not be created");
    return 0;
  }
  if (SetupUi.hooks.start_update_check) SetupUi.hooks.start_update_check();
  ::SetTimer(window, kUpdateCheckTimerId, kUpdateCheckIntervalMs, nullptr);
  ::ShowWindow(window, show_command);
  RunDialogMessageLoop(window);
  ReleaseSetupWindow();
  return 0;
}

}  // namespace qv::setup
