// The setup window as built: its controls, their places at the system DPI,
// its fonts, and how it shows the worker's status lines and progress.

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/setup-window-state.h"
#include "foundation/win/unique-handle.h"
#include "setup-window-fixture.h"
#include "setup/setup-hooks.h"
#include "setup/window/setup-window-layout.h"
#include "setup/window/setup-window.h"
#include "update/build-identity.h"

namespace {

using namespace qv::setup;
using qv::test::WindowText;

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? length : 0);
}

RECT RectInParent(HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int FontHeight(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW description{};
  if (font == nullptr || ::GetObjectW(font, sizeof description, &description) == 0) return 0;
  return description.lfHeight;
}

using SetupWindowLayout = qv::test::SetupWindowTest;

// Every control in creation order with class, text, id, style and place, as a
// user sees them; places are 96-DPI units scaled by the window's own DPI.
TEST_F(SetupWindowLayout, ControlTable) {
  const std::wstring version = L"Version " + std::wstring(qv::update::CurrentVersion().begin(),
                                                          qv::update::CurrentVersion().end());
  const struct {
    const wchar_t* class_name;
    std::wstring text;
    DWORD style;
    int x, y, width, height, id;
  } expected[] = {
      {L"Static", L"Q.V. DU Vora", 0, 24, 20, 560, 35, 0},
      {L"Static", L"Select your Q.V. fake PKG or dumped game folder. No game assets are included.", 0, 24, 65, 572,
       24, 0},
      {L"Static", version, 0, 24, 90, 572, 24, 0},
      {L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 24, 128, 376, 28, 14},
      {L"Button", L"PKG...", WS_TABSTOP, 410, 128, 90, 28, 10},
      {L"Button", L"Folder...", WS_TABSTOP, 506, 128, 90, 28, 17},
      {L"Edit", L"C:\\Games\\Q.V. DU Vora", WS_TABSTOP | ES_AUTOHSCROLL, 24, 166, 472, 28, 15},
      {L"Button", L"Location...", WS_TABSTOP, 506, 166, 90, 28, 11},
      {L"Button", L"Create desktop shortcut with your game icon", WS_TABSTOP | BS_AUTOCHECKBOX, 24, 205, 420, 24, 16},
      {L"msctls_progress32", L"", PBS_MARQUEE, 24, 242, 572, 15, 0},
      // Five lines tall: the longest summary needs them; what lies below
      // moved down by the 45 units the label grew. A read-only edit box
      // without a frame, so that a longer failure scrolls.
      {L"Edit", L"Select your PKG or dumped game folder, and a new installation folder.",
       ES_MULTILINE | ES_READONLY, 24, 271, 572, 100, 0},
      // The notice: a row of its own, two lines for a whole download address.
      {L"Edit", L"", ES_MULTILINE | ES_READONLY, 24, 382, 572, 40, 0},
      {L"Button", L"Install", WS_TABSTOP | BS_DEFPUSHBUTTON, 398, 428, 94, 30, 12},
      {L"Button", L"Close", WS_TABSTOP, 502, 428, 94, 30, 13},
  };
  const float scale = SetupUi.scale;
  EXPECT_FLOAT_EQ(scale, static_cast<float>(::GetDpiForSystem()) / 96.0f);
  auto scaled = [scale](int length) { return static_cast<int>(static_cast<float>(length) * scale); };

  // The children in the order they were made (the first made is first in the list).
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  ASSERT_EQ(children.size(), std::size(expected));
  for (std::size_t i = 0; i < children.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    HWND child = children[i];
    const auto& want = expected[i];
    EXPECT_EQ(child, SetupUi.controls[i]);
    EXPECT_EQ(::lstrcmpiW(ClassName(child).c_str(), want.class_name), 0) << std::string(want.class_name, want.class_name + wcslen(want.class_name));
    EXPECT_EQ(WindowText(child), want.text);
    EXPECT_EQ(::GetDlgCtrlID(child), want.id);
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(style & want.style, want.style);
    // The boxes the user types in are sunken; the read-only ones look like labels.
    const bool edit = std::wstring(want.class_name) == L"Edit" && (want.style & ES_READONLY) == 0;
    EXPECT_EQ((::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, edit);
    const RECT rect = RectInParent(child);
    EXPECT_EQ(rect.left, scaled(want.x));
    EXPECT_EQ(rect.top, scaled(want.y));
    EXPECT_EQ(rect.right - rect.left, scaled(want.width));
    EXPECT_EQ(rect.bottom - rect.top, scaled(want.height));
    EXPECT_EQ(FontHeight(child), i == 0 ? static_cast<int>(-25 * scale) : static_cast<int>(-15 * scale));
  }
  EXPECT_EQ(::SendMessageW(Control(kShortcutBoxId), BM_GETCHECK, 0, 0), BST_CHECKED);

  // The window itself: fixed size, no resizing, never shown before the role shows it.
  EXPECT_EQ(ClassName(window_), L"QVSetup");
  EXPECT_EQ(WindowText(window_), L"Q.V. DU Vora Setup");
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_VISIBLE), 0u);
  RECT client{};
  ::GetClientRect(window_, &client);
  EXPECT_EQ(client.right, scaled(620));
  EXPECT_EQ(client.bottom, scaled(476));
  EXPECT_EQ(SetupWindow.window.load(), window_);
}

// The sizes the window takes at 144 DPI, whatever DPI this process runs at.
TEST(SetupWindowScaling, At144Dpi) {
  const SIZE client = SetupClientSize(1.5f);
  EXPECT_EQ(client.cx, 930);
  EXPECT_EQ(client.cy, 714);
  EXPECT_EQ(ScaleLength(kSetupFontHeight, 1.5f), -22);
  EXPECT_EQ(ScaleLength(kHeadingFontHeight, 1.5f), -37);
  const RECT status = ScaledControlRect(MakeSetupControlTable(L"1", L"")[10], 1.5f);
  EXPECT_EQ(status.left, 36);
  EXPECT_EQ(status.top, 406);
  EXPECT_EQ(status.bottom - status.top, 150);
  EXPECT_EQ(ScaleLength(kSetupFontHeight, 1.25f), -18);  // -18.75, truncated toward zero
}

TEST(SetupWindowDefaultFolder, LocalProgramsUnlessTheShortcutNamesAnInstallation) {
  PWSTR local = nullptr;
  ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)));
  const std::wstring expected = std::wstring(local) + L"\\Programs\\Q.V. DU Vora";
  ::CoTaskMemFree(local);
  EXPECT_EQ(DefaultInstallFolder({}).native(), expected);
  EXPECT_EQ(DefaultInstallFolder(L"D:\\Q.V. DU Vora").native(), L"D:\\Q.V. DU Vora");
}

using SetupWindowMessages = qv::test::SetupWindowTest;

TEST_F(SetupWindowMessages, StatusLinesReplaceEachOtherAndKeepThePercent) {
  PostLine(L"Copying the game archives...");
  EXPECT_EQ(StatusText(), L"Copying the game archives...");

  ::SendMessageW(window_, kSetupProgressMessage, 999, 0);
  EXPECT_EQ(StatusText(), L"Copying the game archives... 99%");
  PostLine(L"Extracting the program files...");
  EXPECT_EQ(StatusText(), L"Extracting the program files... 99%");
  ::SendMessageW(window_, kSetupProgressMessage, 5, 0);
  EXPECT_EQ(StatusText(), L"Extracting the program files... 0%");
  ::SendMessageW(window_, kSetupProgressMessage, 1000, 0);
  EXPECT_EQ(StatusText(), L"Extracting the program files... 100%");
}

TEST_F(SetupWindowMessages, ProgressLeavesTheMarqueeForAPositionInThousandths) {
  HWND bar = Control(SetupControl::kProgressBar);
  SetProgressMarquee(true);
  EXPECT_TRUE(SetupUi.marquee);
  EXPECT_NE(::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE, 0);

  ::SendMessageW(window_, kSetupProgressMessage, 250, 0);
  EXPECT_FALSE(SetupUi.marquee);
  EXPECT_EQ(::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE, 0);
  PBRANGE range{};
  ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 1001);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 250);
  ::SendMessageW(window_, kSetupProgressMessage, 1000, 0);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 1000);
}

TEST_F(SetupWindowMessages, FinishedClearsThePercentAndShowsItsText) {
  SetupUi.running = true;
  ::SendMessageW(window_, kSetupProgressMessage, 420, 0);
  auto text = std::make_unique<std::wstring>(L"Installation cancelled.");
  ::SendMessageW(window_, kSetupFinishedMessage, 0, reinterpret_cast<LPARAM>(text.release()));
  EXPECT_EQ(StatusText(), L"Installation cancelled.");
  EXPECT_EQ(SetupUi.percent, -1);
  EXPECT_FALSE(SetupUi.running);
}

// Each line the engine sends through the hook reaches the label, converted
// from UTF-8; without a window the line goes nowhere and nothing leaks.
TEST_F(SetupWindowMessages, HookLinesReachTheLabel) {
  ForwardLogLine("Copying \xE2\x80\x9C" "chunk1.psarc\xE2\x80\x9D...");
  qv::test::PumpMessagesUntil([&] { return StatusText() == L"Copying \u201Cchunk1.psarc\u201D..."; });
  EXPECT_EQ(StatusText(), L"Copying \u201Cchunk1.psarc\u201D...");
}

}  // namespace
