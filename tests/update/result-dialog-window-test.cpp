// The updater's result dialog shown for real: another thread finds it, reads
// what the player sees and presses a button, as a player would. The page
// opener is replaced, so the tests see what would open and no browser starts.

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text/text.h"
#include "support/window-probe.h"
#include "update/updater/result-dialog.h"
#include "update/updater/updater-text.h"

namespace {

using qv::setup::UpdaterText;
using qv::setup::UpdaterTextFor;
using qv::setup::Utf8ToWide;
using qv::setup::win_updater::kOpenReleasePageButton;
using qv::setup::win_updater::MakeResultDialogConfig;
using qv::setup::win_updater::Outcome;
using qv::setup::win_updater::ResultDialogConfig;
using qv::setup::win_updater::ResultDialogRun;
using qv::setup::win_updater::ShowUpdaterResultDialog;

constexpr DWORD kDialogWaitMs = 15000;

// How the player ends the dialog. (Escape is left out: Wine's task dialog
// ignores the dialog manager's IDCANCEL when no button carries that id; its
// close box takes the same cancellation path.)
enum class Press { kPageButton, kCloseButton, kCloseBox };

// The hidden window the updater owns the dialog with.
class OwnerWindow {
 public:
  OwnerWindow() {
    window_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

struct Seen {
  bool found = false;
  bool press_ignored = false;  // the dialog outlived the press and was closed to end the test
  qv::test::WindowSnapshot dialog;
};

// Runs on a second thread while the dialog's own thread is inside the task
// dialog: waits for the dialog, reads it and ends it the chosen way. When no
// dialog turns up, any dialog of this process is closed so the test cannot hang.
void FindReadAndPress(Press press, Seen& seen) {
  const HWND dialog = qv::test::WaitForTopLevelWindow(::GetCurrentProcessId(), L"#32770", kDialogWaitMs);
  if (!dialog) return;
  seen.found = true;
  seen.dialog = qv::test::ReadWindow(dialog);
  switch (press) {
    case Press::kPageButton:
      ::PostMessageW(dialog, TDM_CLICK_BUTTON, kOpenReleasePageButton, 0);
      break;
    case Press::kCloseButton:
      ::PostMessageW(dialog, TDM_CLICK_BUTTON, IDCLOSE, 0);
      break;
    case Press::kCloseBox:
      ::PostMessageW(dialog, WM_CLOSE, 0, 0);
      break;
  }
  // A press the dialog ignores would leave the test thread inside the dialog for good.
  for (int waited = 0; ::IsWindow(dialog) && waited < 5000; waited += 20) ::Sleep(20);
  if (::IsWindow(dialog)) {
    seen.press_ignored = true;
    ::PostMessageW(dialog, TDM_CLICK_BUTTON, IDCLOSE, 0);
  }
}

struct Shown {
  ResultDialogRun run;
  Seen seen;
  std::vector<std::string> opened;  // what the page opener was asked to open
};

Shown ShowAndPress(HWND owner, int language, const Outcome& outcome, Press press) {
  Shown shown;
  std::thread player(FindReadAndPress, press, std::ref(shown.seen));
  shown.run = ShowUpdaterResultDialog(owner, language, outcome,
                                      [&shown](const std::string& page) { shown.opened.push_back(page); });
  player.join();
  return shown;
}

struct Case {
  const char* name;
  int language;
  Outcome outcome;
  Press press;
  int button;                       // the button ShowUpdaterResultDialog reports
  std::vector<std::string> opened;  // what reached the opener
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ResultDialogWindow : public ::testing::TestWithParam<Case> {};

TEST_P(ResultDialogWindow, ShowsTheOutcomeAndOpensOnlyAnHttpsPage) {
  const Case& c = GetParam();
  OwnerWindow owner;
  ASSERT_NE(owner.get(), nullptr);
  const Shown shown = ShowAndPress(owner.get(), c.language, c.outcome, c.press);

  ASSERT_TRUE(shown.seen.found) << "no task dialog appeared";
  EXPECT_FALSE(shown.seen.press_ignored) << "the dialog did not end when pressed";
  ASSERT_TRUE(shown.run.shown);
  EXPECT_EQ(shown.run.button, c.button);
  EXPECT_EQ(shown.opened, c.opened);
  EXPECT_EQ(shown.run.page_opened, !c.opened.empty());

  // What the player saw, in their language, owned by the updater's window.
  const ResultDialogConfig config = MakeResultDialogConfig(c.language, c.outcome);
  const qv::test::WindowSnapshot& dialog = shown.seen.dialog;
  EXPECT_EQ(dialog.owner, owner.get());
  EXPECT_EQ(dialog.title, config.title);
  EXPECT_TRUE(qv::test::HasStaticText(dialog, config.main_instruction)) << "main instruction missing";
  EXPECT_TRUE(qv::test::HasStaticText(dialog, config.content)) << "content missing";
  EXPECT_EQ((dialog.extended_style & WS_EX_LAYOUTRTL) != 0, c.language == 9);
  ASSERT_EQ(dialog.buttons.count(IDCLOSE), 1u) << "no Close button";
  if (c.outcome.page.empty()) {
    EXPECT_EQ(dialog.buttons.count(kOpenReleasePageButton), 0u);
  } else {
    ASSERT_EQ(dialog.buttons.count(kOpenReleasePageButton), 1u);
    EXPECT_EQ(dialog.buttons.at(kOpenReleasePageButton),
              Utf8ToWide(UpdaterTextFor(c.language, UpdaterText::kOpenReleasePage)));
    EXPECT_EQ(dialog.buttons.at(IDCLOSE), Utf8ToWide(UpdaterTextFor(c.language, UpdaterText::kClose)));
  }
}

const char kPage[] = "https://example.org/releases/tag/v1.5";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    KindsPagesLanguagesAndPresses, ResultDialogWindow,
    ::testing::Values(
        //   name, language, outcome, press, reported button, opened
        Case{"RolledBackPageButtonOpensThePage", 0,
             Outcome{.kind = 2, .detail = "the new version stopped at its start (exit code 3)", .page = kPage},
             Press::kPageButton, kOpenReleasePageButton, {kPage}},
        Case{"FailedCloseOpensNothing", 1, Outcome{.kind = 1, .detail = "Q.V. is still running.", .page = kPage},
             Press::kCloseButton, IDCLOSE, {}},
        Case{"FailedWithoutPageOnlyClose", 2, Outcome{.kind = 1, .detail = "administrator rights were not given", .page = ""},
             Press::kCloseButton, IDCLOSE, {}},
        Case{"PlainHttpPageIsNeverOpened", 3, Outcome{.kind = 1, .detail = "x", .page = "http://example.org/r"},
             Press::kPageButton, kOpenReleasePageButton, {}},
        Case{"ArabicRightToLeftPageButton", 9,
             Outcome{.kind = 3, .detail = "rollback failed: access denied", .page = kPage},
             Press::kPageButton, kOpenReleasePageButton, {kPage}},
        Case{"JapaneseCloseBoxEndsLikeClose", 4, Outcome{.kind = 2, .detail = "x", .page = kPage},
             Press::kCloseBox, IDCANCEL, {}},
        Case{"ChineseWithoutPageCloseBoxEndsLikeClose", 8, Outcome{.kind = 3, .detail = "x", .page = ""},
             Press::kCloseBox, IDCANCEL, {}},
        Case{"UkrainianBrokenPageButton", 11, Outcome{.kind = 3, .detail = "x", .page = kPage},
             Press::kPageButton, kOpenReleasePageButton, {kPage}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
