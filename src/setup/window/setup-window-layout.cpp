#include "setup/window/setup-window-layout.h"

#include <commctrl.h>

#include <cwchar>

namespace qv::setup {

SetupControlTable MakeSetupControlTable(std::wstring_view version, std::wstring_view default_folder) {
  constexpr DWORD kTab = WS_TABSTOP;
  return SetupControlTable{{
      {L"STATIC", std::wstring(kHeadingText), 0, 24, 20, 560, 35, 0},
      {L"STATIC", std::wstring(kIntroductionText), 0, 24, 65, 572, 24, 0},
      {L"STATIC", L"Version " + std::wstring(version), 0, 24, 90, 572, 24, 0},
      {L"EDIT", L"", kTab | ES_AUTOHSCROLL, 24, 128, 376, 28, kSourceBoxId},
      {L"BUTTON", std::wstring(kPickPackageText), kTab, 410, 128, 90, 28, kPickPackageId},
      {L"BUTTON", std::wstring(kPickFolderText), kTab, 506, 128, 90, 28, kPickFolderId},
      {L"EDIT", std::wstring(default_folder), kTab | ES_AUTOHSCROLL, 24, 166, 472, 28, kFolderBoxId},
      {L"BUTTON", std::wstring(kLocationText), kTab, 506, 166, 90, 28, kLocationId},
      {L"BUTTON", std::wstring(kShortcutText), kTab | BS_AUTOCHECKBOX, 24, 205, 420, 24, kShortcutBoxId},
      {PROGRESS_CLASSW, L"", PBS_MARQUEE, 24, 242, 572, 15, 0},
      {L"EDIT", std::wstring(kInitialStatusText), kTextBoxStyle, 24, 271, 572, kStatusLabelHeight, 0},
      {L"EDIT", L"", ES_MULTILINE | ES_READONLY, 24, kNoticeTop, 572, kNoticeHeight, 0},
      {L"BUTTON", std::wstring(kInstallText), kTab | BS_DEFPUSHBUTTON, 398, kButtonRowTop, 94, 30, kInstallId},
      {L"BUTTON", std::wstring(kCloseText), kTab, 502, kButtonRowTop, 94, 30, kCloseId},
  }};
}

int ScaleLength(int length, float scale) { return static_cast<int>(static_cast<float>(length) * scale); }

RECT ScaledControlRect(const ControlSpec& control, float scale) {
  const int x = ScaleLength(control.x, scale);
  const int y = ScaleLength(control.y, scale);
  return RECT{x, y, x + ScaleLength(control.width, scale), y + ScaleLength(control.height, scale)};
}

SIZE SetupClientSize(float scale) {
  return SIZE{ScaleLength(kSetupClientWidth, scale), ScaleLength(kSetupClientHeight, scale)};
}

bool TakesClientEdge(const ControlSpec& control) {
  return std::wcscmp(control.class_name, L"EDIT") == 0 && (control.style & ES_READONLY) == 0;
}

}  // namespace qv::setup
