// The updater window: its layout in every language, the phase lines and the
// progress bar per phase, Cancel, and a whole windowed run with a stand-in
// worker driven the way the real one drives it.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text/text.h"
#include "setup/window/setup-window.h"
#include "update/update-phase.h"
#include "update/updater/updater-text.h"
#include "update/updater/updater-window.h"
#include "updater-window-fixture.h"

namespace {

using namespace qv::setup;
using namespace qv::setup::win_updater;
using qv::setup::GetControlText;
using qv::test::UpdaterWindowHolder;

std::wstring Key(int language, UpdaterText key, std::string_view argument = {}) {
  return Utf8ToWide(UpdaterTextFor(language, key, argument));
}

bool Marquee(HWND bar) { return (::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) != 0; }

RECT RectInParent(HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST(UpdaterWindow, LayoutTitleAndDirectionInEveryLanguage) {
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    SCOPED_TRACE("language " + std::to_string(language));
    UpdaterWindowHolder holder(language);
    HWND window = holder.window();
    ASSERT_NE(window, nullptr);
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, 32);
    EXPECT_EQ(std::wstring(name), L"QVUpdater");
    EXPECT_EQ(GetControlText(window), Key(language, UpdaterText::kTitle));
    const bool rtl = (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    EXPECT_EQ(rtl, language == 9);

    const float scale = static_cast<float>(::GetDpiForSystem()) / 96.0f;
    auto scaled = [scale](int length) { return static_cast<int>(static_cast<float>(length) * scale); };
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, scaled(460));
    EXPECT_EQ(client.bottom, scaled(130));
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);

    State& state = holder.state();
    EXPECT_EQ(GetControlText(state.status), Key(language, UpdaterText::kWaitingForGame));
    EXPECT_EQ(GetControlText(state.cancel_button), Key(language, UpdaterText::kCancel));
    EXPECT_EQ(::GetDlgCtrlID(state.cancel_button), IDCANCEL);
    EXPECT_TRUE(::IsWindowEnabled(state.cancel_button));
    EXPECT_NE(::GetWindowLongPtrW(state.cancel_button, GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_TRUE(Marquee(state.progress));
    if (!rtl) {  // a mirrored window measures its children from the right
      const struct {
        HWND control;
        int x, y, width, height;
      } places[] = {{state.status, 20, 18, 420, 24}, {state.progress, 20, 50, 420, 15},
                    {state.cancel_button, 340, 84, 100, 30}};
      for (const auto& place : places) {
        const RECT rect = RectInParent(place.control);
        EXPECT_EQ(rect.left, scaled(place.x));
        EXPECT_EQ(rect.top, scaled(place.y));
        EXPECT_EQ(rect.right - rect.left, scaled(place.width));
        EXPECT_EQ(rect.bottom - rect.top, scaled(place.height));
      }
    }
  }
}

TEST(UpdaterWindow, PhasesSetTheLineTheBarAndCancel) {
  UpdaterWindowHolder holder(0, "1.2.0");
  State& state = holder.state();
  const struct {
    int phase;
    const wchar_t* line;
    bool marquee;
    bool cancel;
  } cases[] = {
      {0, L"Waiting for Q.V. to close...", true, true},
      {1, L"Checking the new version...", true, true},
      {2, L"Downloading version 1.2.0...", false, true},
      {3, L"Verifying the download...", true, false},
      {4, L"Installing version 1.2.0...", false, false},
      {5, L"Starting Q.V. ...", true, false},
      {2, L"Downloading version 1.2.0...", false, true},  // back to a phase that may be cancelled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("phase " + std::to_string(c.phase));
    holder.Phase(c.phase);
    EXPECT_EQ(state.phase, c.phase);
    EXPECT_EQ(state.percent, -1);
    EXPECT_EQ(GetControlText(state.status), c.line);
    EXPECT_EQ(Marquee(state.progress), c.marquee);
    EXPECT_EQ(::IsWindowEnabled(state.cancel_button) != FALSE, c.cancel);
    if (!c.marquee) {
      PBRANGE range{};
      ::SendMessageW(state.progress, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
      EXPECT_EQ(range.iLow, 0);
      EXPECT_EQ(range.iHigh, 1000);
      EXPECT_EQ(::SendMessageW(state.progress, PBM_GETPOS, 0, 0), 0);
    }
  }
  holder.Phase(0, /*elevation_notice=*/true);
  EXPECT_EQ(GetControlText(state.status), L"Windows asks for permission to update this folder...");
}

TEST(UpdaterWindow, ProgressShowsThePercentWhileDownloadingOrInstalling) {
  UpdaterWindowHolder holder(2, "1.2.0");  // German
  State& state = holder.state();
  holder.Phase(static_cast<int>(UpdatePhase::kDownloading));
  holder.Progress(455);
  EXPECT_EQ(GetControlText(state.status), Key(2, UpdaterText::kDownloading, "1.2.0") + L" 45%");
  EXPECT_EQ(::SendMessageW(state.progress, PBM_GETPOS, 0, 0), 455);
  holder.Progress(-1);  // ignored
  EXPECT_EQ(::SendMessageW(state.progress, PBM_GETPOS, 0, 0), 455);
  EXPECT_EQ(state.percent, 45);

  // A new phase forgets the percentage; the verifying line never shows one.
  holder.Phase(static_cast<int>(UpdatePhase::kVerifying));
  holder.Progress(990);
  EXPECT_EQ(GetControlText(state.status), Key(2, UpdaterText::kVerifying));
  holder.Phase(static_cast<int>(UpdatePhase::kInstalling));
  EXPECT_EQ(GetControlText(state.status), Key(2, UpdaterText::kInstalling, "1.2.0"));
  holder.Progress(1000);
  EXPECT_EQ(GetControlText(state.status), Key(2, UpdaterText::kInstalling, "1.2.0") + L" 100%");
}

TEST(UpdaterWindow, CancelEscapeAndCloseOnlySetTheFlag) {
  UpdaterWindowHolder holder(0);
  State& state = holder.state();
  ::SendMessageW(state.cancel_button, BM_CLICK, 0, 0);
  EXPECT_TRUE(state.cancel_requested);
  EXPECT_TRUE(::IsWindow(holder.window()));

  state.cancel_requested = false;
  MSG escape{holder.window(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(::IsDialogMessageW(holder.window(), &escape));
  EXPECT_TRUE(state.cancel_requested);

  state.cancel_requested = false;
  ::SendMessageW(holder.window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(state.cancel_requested);
  EXPECT_TRUE(::IsWindow(holder.window()));
  EXPECT_TRUE(::IsWindowVisible(holder.window()) == FALSE);  // never shown by this test
}

// Progress reaches the window in thousandths, each value once; nothing for a
// total of 0 or without a window.
TEST(UpdaterWindow, ProgressIsPostedOnlyWhenItChanges) {
  UpdaterWindowHolder holder(0);
  State& state = holder.state();
  auto posted = [&] {
    std::vector<int> values;
    MSG message;
    while (::PeekMessageW(&message, holder.window(), kProgressMessage, kProgressMessage, PM_REMOVE)) {
      values.push_back(static_cast<int>(message.wParam));
    }
    return values;
  };
  PostProgress(state, 5, 0);
  PostProgress(state, 1, 3);
  PostProgress(state, 1, 3);
  PostProgress(state, 2, 3);
  PostProgress(state, 3, 3);
  PostProgress(state, 7, 3);  // past the total: still 1000, already posted
  EXPECT_EQ(posted(), (std::vector<int>{333, 666, 1000}));

  State no_window;
  PostProgress(no_window, 1, 2);
  EXPECT_EQ(no_window.last_permille, -1);
}

// The whole windowed run: a stand-in worker posts what the real one posts,
// asks the window's state like a user would see it, presses Cancel in the
// three ways, and finishes; the outcome is reported on the window's thread
// once the window is hidden, and the run ends.
TEST(UpdaterWindowRun, StandInWorkerToTheReport) {
  WindowThread thread;
  State state;
  state.arguments.language = 0;
  SetCurrentState(&state);
  std::atomic<bool> ok_phase_line{false}, stayed_after_close{false}, cancelled_three_ways{false};
  std::atomic<int> reports{0};
  DWORD report_thread = 0;
  bool hidden_at_report = false;
  Outcome reported;

  auto wait_for = [](const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) ::Sleep(10);
    return done();
  };
  WindowJobs jobs;
  jobs.work = [&](State& s) {
    PostPhaseMessage(s, 0);
    s.SetVersion("1.2.0");
    PostPhaseMessage(s, 2);
    PostProgress(s, 50, 100);
    ok_phase_line = wait_for([&] { return GetControlText(s.status) == L"Downloading version 1.2.0... 50%"; });

    ::PostMessageW(s.window, WM_CLOSE, 0, 0);
    bool closed = wait_for([&] { return s.cancel_requested.load(); });
    stayed_after_close = closed && ::IsWindow(s.window);
    s.cancel_requested = false;
    ::PostMessageW(s.window, WM_KEYDOWN, VK_ESCAPE, 0);
    bool escaped = wait_for([&] { return s.cancel_requested.load(); });
    s.cancel_requested = false;
    ::PostMessageW(s.cancel_button, BM_CLICK, 0, 0);
    bool clicked = wait_for([&] { return s.cancel_requested.load(); });
    cancelled_three_ways = closed && escaped && clicked;

    Outcome outcome;
    outcome.kind = kOutcomeFailed;
    outcome.detail = "Installation cancelled.";
    outcome.page = "https://releases.invalid/qv";
    outcome.start_game = true;
    return outcome;
  };
  jobs.report = [&](State& s, const Outcome& outcome) {
    ++reports;
    report_thread = ::GetCurrentThreadId();
    hidden_at_report = ::IsWindowVisible(s.window) == FALSE;
    reported = outcome;
  };
  HWND window = nullptr;
  std::thread watcher([&] {
    for (int i = 0; i < 500 && window == nullptr; ++i) {
      window = ::FindWindowW(L"QVUpdater", nullptr);
      ::Sleep(10);
    }
  });
  EXPECT_EQ(RunUpdaterWindow(state, ::GetModuleHandleW(nullptr), jobs), 0);
  watcher.join();
  SetCurrentState(nullptr);

  EXPECT_TRUE(ok_phase_line);
  EXPECT_TRUE(stayed_after_close);
  EXPECT_TRUE(cancelled_three_ways);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(report_thread, ::GetCurrentThreadId());
  EXPECT_TRUE(hidden_at_report);
  EXPECT_EQ(reported.detail, "Installation cancelled.");
  EXPECT_EQ(reported.page, "https://releases.invalid/qv");
  EXPECT_FALSE(state.worker.joinable());
  EXPECT_NE(window, nullptr);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(state.window, nullptr);
}

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) return FALSE;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Without a window (no display) the worker and the report still run to
// their end, on this thread, and the run returns.
TEST(UpdaterWindowRun, WithoutAWindowTheWorkAndTheReportStillRun) {
  WindowThread thread;
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // A class of that name whose windows refuse to be made stands in for a
  // system without a display.
  ::UnregisterClassW(kUpdaterWindowClass, instance);
  WNDCLASSEXW refusing{};
  refusing.cbSize = sizeof refusing;
  refusing.lpfnWndProc = RefuseCreation;
  refusing.hInstance = instance;
  refusing.lpszClassName = kUpdaterWindowClass;
  ASSERT_NE(::RegisterClassExW(&refusing), 0);

  State state;
  SetCurrentState(&state);
  std::vector<std::string> steps;
  WindowJobs jobs;
  jobs.work = [&](State& s) {
    steps.push_back(s.window == nullptr ? "work without window" : "work with window");
    PostPhaseMessage(s, 2);  // nowhere to go: dropped
    PostProgress(s, 1, 2);
    Outcome outcome;
    outcome.kind = kOutcomeRolledBack;
    outcome.start_game = true;
    return outcome;
  };
  jobs.report = [&](State&, const Outcome& outcome) {
    steps.push_back("report kind " + std::to_string(outcome.kind) + (outcome.start_game ? " start" : ""));
  };
  EXPECT_EQ(RunUpdaterWindow(state, instance, jobs), 0);
  SetCurrentState(nullptr);
  ::UnregisterClassW(kUpdaterWindowClass, instance);
  EXPECT_EQ(steps, (std::vector<std::string>{"work without window", "report kind 2 start"}));
  EXPECT_EQ(state.last_permille, -1);
}

// A worker that lets an exception through still ends with a failed outcome.
TEST(UpdaterWindowRun, AFailureThatEscapesTheWorkerIsAFailedOutcome) {
  WindowThread thread;
  State state;
  SetCurrentState(&state);
  Outcome reported;
  reported.kind = -1;
  WindowJobs jobs;
  jobs.work = [](State&) -> Outcome { throw std::runtime_error("the disk went away"); };
  jobs.report = [&](State&, const Outcome& outcome) { reported = outcome; };
  EXPECT_EQ(RunUpdaterWindow(state, ::GetModuleHandleW(nullptr), jobs), 0);
  SetCurrentState(nullptr);
  EXPECT_EQ(reported.kind, kOutcomeFailed);
  EXPECT_EQ(reported.detail, "the disk went away");
  EXPECT_TRUE(reported.start_game);
}

}  // namespace
