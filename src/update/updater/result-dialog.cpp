#include "update/updater/result-dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>

#include "foundation/logger.h"
#include "foundation/text/text.h"

namespace qv::setup::win_updater {

void OpenPageInBrowser(const std::string& page) {
  const std::wstring address = Utf8ToWide(page);
  const auto result = reinterpret_cast<std::intptr_t>(
      ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  // Values up to 32 are errors; the player still has the address in the dialog's text.
  if (result <= 32) LogWarn("could not open the release page {} (shell error {})", page, std::to_string(result));
}

ResultDialogRun ShowResultDialog(HWND owner, const ResultDialogConfig& config, const PageOpener& open_page) {
  std::vector<TASKDIALOG_BUTTON> buttons;
  buttons.reserve(config.buttons.size());
  for (const ResultDialogButton& button : config.buttons) buttons.push_back({button.id, button.text.c_str()});

  TASKDIALOGCONFIG dialog{};
  dialog.cbSize = sizeof dialog;
  dialog.hwndParent = owner;
  // Escape and the title bar's close box end the dialog like Close.
  dialog.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | (config.right_to_left ? TDF_RTL_LAYOUT : 0);
  dialog.dwCommonButtons = config.common_close_button ? TDCBF_CLOSE_BUTTON : 0;
  dialog.pszWindowTitle = config.title.c_str();
  dialog.pszMainIcon = TD_ERROR_ICON;
  dialog.pszMainInstruction = config.main_instruction.c_str();
  dialog.pszContent = config.content.c_str();
  dialog.cButtons = static_cast<UINT>(buttons.size());
  dialog.pButtons = buttons.empty() ? nullptr : buttons.data();
  dialog.nDefaultButton = config.default_button;

  ResultDialogRun run;
  const HRESULT shown = ::TaskDialogIndirect(&dialog, &run.button, nullptr, nullptr);
  if (FAILED(shown)) {
    // The outcome is already in the updater log; the dialog only repeats it.
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(shown));
    LogWarn("could not show the update result dialog (HRESULT {})", code);
    return run;
  }
  run.shown = true;
  if (run.button == kOpenReleasePageButton && IsOpenableReleasePage(config.page) && open_page) {
    open_page(config.page);
    run.page_opened = true;
  }
  return run;
}

ResultDialogRun ShowUpdaterResultDialog(HWND owner, int language, const Outcome& outcome, const PageOpener& open_page) {
  return ShowResultDialog(owner, MakeResultDialogConfig(language, outcome), open_page);
}

}  // namespace qv::setup::win_updater
