#pragma once
// The updater's small progress window (class "QVUpdater"): the phase line, a
// progress bar and Cancel, in the language the game passed. It runs on the
// role's main thread; the update runs on one worker thread, which reaches the
// window only through the posted messages below. Cancel, Escape and closing
// the window only ask the worker to stop: the window stays until the worker
// has finished with an outcome, which is then reported on this thread.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "update/updater/updater-outcome.h"
#include "update/updater/updater-state.h"

namespace qv::setup::win_updater {

inline constexpr const wchar_t* kUpdaterWindowClass = L"QVUpdater";

// wParam: the phase (UpdatePhase); lParam: 1 shows the elevation notice
// instead of the phase line, else 0.
inline constexpr UINT kPhaseMessage = WM_APP + 11;
// wParam: permille 0..1000 of the download or the install.
inline constexpr UINT kProgressMessage = WM_APP + 12;
// lParam: a heap Outcome the window takes over; the worker has finished.
inline constexpr UINT kFinishedMessage = WM_APP + 13;

inline constexpr int kCancelButtonId = IDCANCEL;

// Sizes in 96-DPI units, scaled by the system DPI.
inline constexpr int kUpdaterClientWidth = 460;
inline constexpr int kUpdaterClientHeight = 130;
inline constexpr int kUpdaterFontHeight = -15;
inline constexpr DWORD kUpdaterWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct WindowJobs {
  // The worker's body; its outcome is handed to `report`. Expected never to
  // raise (a failure it lets through becomes a failed outcome).
  std::function<Outcome(State& state)> work;
  // Reports the outcome on the window's thread once the window is hidden
  // (the result dialog may show, owned by it) and, when asked, starts the game.
  std::function<void(State& state, const Outcome& outcome)> report;
};

// The window's status line: the phase's text in the state's language with the
// new version, and the percentage while downloading or installing.
std::wstring PhaseText(const State& state);

// Builds the window and its children at the system DPI (the thread is DPI
// aware and has COM) and shows nothing yet; records them in `state`. Null
// when the window cannot be made (no display); nothing is left behind then.
HWND CreateUpdaterWindow(State& state, HINSTANCE instance);

// The windowed run: makes the window, shows it, starts the worker on
// jobs.work and runs the message loop until the finished message has been
// handled; then joins the worker if that is still needed and releases the
// font. Without a window (no display) the worker's job and the report run to
// their end on this thread instead, so the game is still started again.
// Returns 0. Raises std::system_error when the worker cannot be started.
int RunUpdaterWindow(State& state, HINSTANCE instance, WindowJobs jobs);

// Posts the phase message to the state's window, when there is one.
void PostPhaseMessage(const State& state, int phase, bool elevation_notice = false);

// The progress hook of a windowed run: permille = done x 1000 / total, posted
// only when it differs from the one posted last; nothing for a total of 0 or
// without a window.
void PostProgress(State& state, std::uint64_t done, std::uint64_t total);

LRESULT CALLBACK UpdaterWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace qv::setup::win_updater
