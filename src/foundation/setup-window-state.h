#pragma once
// The setup window's process-wide state, as far as code without a window
// reaches it: the engine's hooks and the install worker post to `window` and
// read the cancel flag from any thread. The window itself owns the rest.

#include <windows.h>

#include <atomic>

namespace qv::setup {

// Messages the worker side posts to the setup window.
inline constexpr UINT kSetupStatusLineMessage = WM_APP + 1;  // lParam: heap std::wstring the window takes over
inline constexpr UINT kSetupFinishedMessage = WM_APP + 2;    // wParam 1 success / 0 failure, lParam: heap std::wstring
inline constexpr UINT kSetupProgressMessage = WM_APP + 3;    // wParam: permille 0..1000

struct SetupWindowState {
  // The main window; null while no setup window exists (then progress is
  // counted for the test modes instead of posted).
  std::atomic<HWND> window{nullptr};
  // The permille posted last; -1 = none since the install began.
  std::atomic<int> last_permille{-1};
};

// One setup window per process.
extern SetupWindowState SetupWindow;

// Set when the user asks to cancel the running install; read by the engine
// through CancelHook and directly by waits on outside programs.
extern std::atomic<bool> SetupCancelFlag;

}  // namespace qv::setup
