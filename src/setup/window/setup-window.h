#pragma once
// The setup window (class "QVSetup"): the user picks the game and the
// installation folder, presses Install, follows the status line and the
// progress bar, and can cancel. It lives on the main thread; the install runs
// on the install worker, which reaches the window only through posted
// messages (kSetup*Message). The same window, built but never shown, is what
// "--preview" captures.

#include <windows.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "foundation/win/unique-handle.h"
#include "setup/window/install-worker.h"
#include "setup/window/setup-window-layout.h"

namespace qv::setup {

// What the window asks of the outside world; tests put stand-ins here.
struct SetupWindowHooks {
  // The worker's job: install and summarise.
  InstallJobRunner run_install;
  // The package file the user picked; nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(HWND owner)> pick_package;
  // The folder the user picked under the given title; nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(HWND owner, const wchar_t* title)> pick_folder;
  // Starts the check for a newer release (once, as the window is shown).
  std::function<void()> start_update_check;
  // True once the check for a newer release has ended.
  std::function<bool()> update_check_done;
  // The notice for a newer release ("Version X is available: URL"); empty
  // when the check found none. Read once update_check_done answers true.
  std::function<std::wstring()> update_notice;
};

// The part of the setup window's state that only the window's thread touches
// (the part the worker side reaches is SetupWindow, setup-window-state.h).
struct SetupWindowUi {
  std::array<HWND, kSetupControlCount> controls{};
  float scale = 1.0f;  // system DPI / 96
  UniqueFont font;
  UniqueFont heading_font;
  std::wstring status_text;  // the latest status line
  int percent = -1;          // shown after the status line; -1 = none
  bool marquee = false;      // the progress bar runs its marquee
  std::atomic<bool> running{false};  // an install worker runs
  std::thread worker;        // joinable until joined (next Install press or window end)
  SetupWindowHooks hooks;
};

// One setup window per process.
extern SetupWindowUi SetupUi;

HWND SetupControlHandle(SetupControl control);

// The system's own dialogs for the pickers.
std::optional<std::filesystem::path> PickPackageFile(HWND owner);
std::optional<std::filesystem::path> PickFolder(HWND owner, const wchar_t* title);

// The folder box's first text: "<local application data>\Programs\Q.V. DU
// Vora", or the installation the desktop shortcut points to when there is
// one (`shortcut_install`, empty when none); empty when neither is known.
std::filesystem::path DefaultInstallFolder(const std::filesystem::path& shortcut_install);

// Builds the window and its controls at the system DPI (the caller has made
// the thread DPI aware and initialised COM) without showing it, and publishes
// it in SetupWindow.window. `default_folder` is the folder box's first text.
// Returns null, with nothing left behind, when the window cannot be created.
HWND CreateSetupWindow(HINSTANCE instance, SetupWindowHooks hooks, const std::filesystem::path& default_folder);

// The end of a window: destroys it when it still exists, joins a worker that
// is still joinable, and deletes the fonts.
void ReleaseSetupWindow();

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Window plumbing.
std::wstring GetControlText(HWND control);
void SetProgressMarquee(bool on);
void SetProgressPosition(int permille);
// The status line, followed by " N%" while a percentage is known, with its
// line ends as the status box needs them (WithEditLineEnds).
void UpdateStatusLabel();
// `text` with every line end (LF, CR or CR LF) written as CR LF.
std::wstring WithEditLineEnds(std::wstring_view text);
void StoreAtomicInt(std::atomic<int>& target, int value);

}  // namespace qv::setup
