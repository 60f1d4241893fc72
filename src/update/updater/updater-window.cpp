#include "update/updater/updater-window.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "foundation/logger.h"
#include "foundation/progress-report.h"
#include "foundation/text/text.h"
#include "foundation/win/window-thread.h"
#include "update/update-phase.h"
#include "update/updater/updater-text.h"

namespace qv::setup::win_updater {
namespace {

constexpr UINT kMarqueeIntervalMs = 30;
constexpr int kProgressRangeEnd = 1000;

// What the window hands the outcome to; set by RunUpdaterWindow.
WindowJobs running_jobs;

int Scaled(int length, float scale) { return static_cast<int>(static_cast<float>(length) * scale); }

std::wstring Text(const State& state, UpdaterText key) {
  return Utf8ToWide(UpdaterTextFor(state.arguments.language, key));
}

void RegisterUpdaterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = UpdaterWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kUpdaterWindowClass;
  // A second window in one process (the tests) finds the class registered already.
  ::RegisterClassExW(&window_class);
}

HWND CreateChild(const State& state, HINSTANCE instance, const wchar_t* window_class, const std::wstring& text,
                 DWORD style, int x, int y, int width, int height, int id, float scale) {
  HWND child = ::CreateWindowExW(0, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scaled(x, scale),
                                 Scaled(y, scale), Scaled(width, scale), Scaled(height, scale), state.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (child != nullptr) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(state.font.get()), TRUE);
  return child;
}

void StartMarquee(HWND bar) {
  ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
  ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
}

void ShowPosition(HWND bar) {
  ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
  ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  ::SendMessageW(bar, PBM_SETRANGE32, 0, kProgressRangeEnd);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
}

bool ShowsPosition(int phase) {
  return phase == static_cast<int>(UpdatePhase::kDownloading) || phase == static_cast<int>(UpdatePhase::kInstalling);
}

void OnPhase(State& state, int phase, bool elevation_notice) {
  state.phase = phase;
  state.percent = -1;
  const std::wstring line = elevation_notice ? Text(state, UpdaterText::kElevationNotice) : PhaseText(state);
  ::SetWindowTextW(state.status, line.c_str());
  if (ShowsPosition(phase)) {
    ShowPosition(state.progress);
  } else {
    StartMarquee(state.progress);
  }
  // From verifying on, the files are being checked and replaced: the update
  // no longer offers to stop.
  ::EnableWindow(state.cancel_button, phase < static_cast<int>(UpdatePhase::kVerifying) ? TRUE : FALSE);
}

void OnProgress(State& state, int permille) {
  if (permille < 0) return;
  // One step past and back: the bar jumps to the value instead of animating.
  ::SendMessageW(state.progress, PBM_SETPOS, static_cast<WPARAM>(permille + 1), 0);
  ::SendMessageW(state.progress, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
  state.percent = permille / 10;
  ::SetWindowTextW(state.status, PhaseText(state).c_str());
}

void OnFinished(State& state, HWND window, LPARAM lparam) {
  std::unique_ptr<Outcome> outcome(reinterpret_cast<Outcome*>(lparam));
  if (state.worker.joinable() && state.worker.get_id() != std::this_thread::get_id()) state.worker.join();
  ::ShowWindow(window, SW_HIDE);
  if (outcome && running_jobs.report) running_jobs.report(state, *outcome);
  ::DestroyWindow(window);
}

// The worker's job, turned into an outcome whatever happens inside it.
Outcome RunWork(State& state, const WindowJobs& jobs) {
  try {
    if (jobs.work) return jobs.work(state);
  } catch (const std::exception& error) {
    Outcome failed;
    failed.detail = error.what();
    failed.start_game = true;
    return failed;
  } catch (...) {
    Outcome failed;
    failed.detail = "the update ended with an unexpected error";
    failed.start_game = true;
    return failed;
  }
  return Outcome{};
}

void UpdaterWorkerThread(State& state, const WindowJobs& jobs) {
  auto outcome = std::make_unique<Outcome>(RunWork(state, jobs));
  if (::PostMessageW(state.window, kFinishedMessage, 0, reinterpret_cast<LPARAM>(outcome.get()))) {
    outcome.release();  // the window frees it
    return;
  }
  Log(LogLevel::kError, "the update finished, but its window could not be told");
}

}  // namespace

std::wstring PhaseText(const State& state) {
  return Utf8ToWide(PhaseLine(state.arguments.language, state.phase, state.Version(), state.percent));
}

HWND CreateUpdaterWindow(State& state, HINSTANCE instance) {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&common);
  const float scale = static_cast<float>(::GetDpiForSystem()) / 96.0f;
  state.font.reset(::CreateFontW(Scaled(kUpdaterFontHeight, scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                 DEFAULT_PITCH, L"Segoe UI"));
  RegisterUpdaterWindowClass(instance);

  RECT frame{0, 0, Scaled(kUpdaterClientWidth, scale), Scaled(kUpdaterClientHeight, scale)};
  ::AdjustWindowRect(&frame, kUpdaterWindowStyle, FALSE);
  const DWORD extended = IsRightToLeftLanguage(state.arguments.language) ? WS_EX_LAYOUTRTL : 0;
  state.window = ::CreateWindowExW(extended, kUpdaterWindowClass, Text(state, UpdaterText::kTitle).c_str(),
                                   kUpdaterWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                   frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (state.window == nullptr) {
    state.font.reset();
    return nullptr;
  }
  state.status = CreateChild(state, instance, L"STATIC", PhaseText(state), 0, 20, 18, 420, 24, 0, scale);
  state.progress = CreateChild(state, instance, PROGRESS_CLASSW, L"", PBS_MARQUEE, 20, 50, 420, 15, 0, scale);
  ::SendMessageW(state.progress, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
  state.cancel_button = CreateChild(state, instance, L"BUTTON", Text(state, UpdaterText::kCancel), WS_TABSTOP, 340,
                                    84, 100, 30, kCancelButtonId, scale);
  return state.window;
}

int RunUpdaterWindow(State& state, HINSTANCE instance, WindowJobs jobs) {
  WindowThread thread;
  running_jobs = std::move(jobs);
  if (CreateUpdaterWindow(state, instance) == nullptr) {
    // Without a window nobody would receive the finished message: the loop
    // would never end and the game never be started again.
    Log(LogLevel::kWarn, "the updater window could not be created; the update runs without it");
    const Outcome outcome = RunWork(state, running_jobs);
    if (running_jobs.report) running_jobs.report(state, outcome);
    running_jobs = {};
    return 0;
  }
  ::ShowWindow(state.window, SW_SHOWNORMAL);
  state.worker = std::thread([&state] { UpdaterWorkerThread(state, running_jobs); });

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (state.window != nullptr && ::IsDialogMessageW(state.window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (state.worker.joinable()) state.worker.join();
  state.window = state.status = state.progress = state.cancel_button = nullptr;
  state.font.reset();
  running_jobs = {};
  return 0;
}

void PostPhaseMessage(const State& state, int phase, bool elevation_notice) {
  if (state.window == nullptr) return;
  ::PostMessageW(state.window, kPhaseMessage, static_cast<WPARAM>(phase), elevation_notice ? 1 : 0);
}

void PostProgress(State& state, std::uint64_t done, std::uint64_t total) {
  if (total == 0 || state.window == nullptr) return;
  const int permille = ProgressPermille(done, total);
  if (state.last_permille.exchange(permille) != permille) {
    ::PostMessageW(state.window, kProgressMessage, static_cast<WPARAM>(permille), 0);
  }
}

LRESULT CALLBACK UpdaterWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  State* state = CurrentState();
  if (state == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_CTLCOLORSTATIC:
      ::SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    case kPhaseMessage:
      OnPhase(*state, static_cast<int>(wparam), lparam == 1);
      return 0;
    case kProgressMessage:
      OnProgress(*state, static_cast<int>(wparam));
      return 0;
    case kFinishedMessage:
      OnFinished(*state, window, lparam);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCancelButtonId) state->cancel_requested = true;
      return 0;
    case WM_CLOSE:
      state->cancel_requested = true;  // the window stays until the worker has finished
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace qv::setup::win_updater
