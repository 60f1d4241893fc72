#pragma once
// The updater role's one state: what it was started with, its window and
// controls, and what the worker and the window share. The role's runner owns
// it; the window procedure, the hooks and the worker reach it through
// CurrentState().

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/win/unique-handle.h"
#include "update/updater/updater-args.h"

namespace qv::setup::win_updater {

struct State {
  Args arguments;
  HWND window = nullptr;
  HWND status = nullptr;         // the phase line
  HWND progress = nullptr;       // the progress bar
  HWND cancel_button = nullptr;
  UniqueFont font;
  std::atomic<bool> cancel_requested{false};
  std::atomic<int> last_permille{-1};  // the permille posted last; -1 = none
  int phase = 0;     // UpdatePhase; the window's thread alone reads and writes it
  int percent = -1;  // shown while downloading or installing; -1 = none
  bool headless = false;
  std::wstring result_file;
  std::thread worker;

  // The new version, set by the worker once it knows it and read by the
  // window whenever it builds a phase line.
  void SetVersion(std::string version);
  std::string Version() const;

 private:
  mutable std::mutex version_mutex_;
  std::string version_;
};

// The running role's state; null when no updater role runs.
State* CurrentState();
void SetCurrentState(State* state);

}  // namespace qv::setup::win_updater
