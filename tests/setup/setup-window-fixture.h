#pragma once
// The setup window built in this test process, driven by messages the way the
// user and the install worker drive it, with stand-ins for the dialogs and the
// install.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"
#include "foundation/win/window-thread.h"
#include "setup/window/setup-window.h"

namespace qv::test {

// Dispatches this thread's messages until `done` answers true or the time
// runs out; returns what `done` answered last.
bool PumpMessagesUntil(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

std::wstring WindowText(HWND window);

// An install the test holds until it lets go: it records each job, then
// waits for Release() (or 20 s), then returns its text or raises.
struct HeldInstall {
  HeldInstall();
  qv::setup::InstallJobRunner Runner();
  void Release();
  std::atomic<int> calls{0};
  std::atomic<bool> started{false};
  qv::setup::InstallJob last_job;  // read after the worker was joined
  std::wstring text = L"Installed. Launch qv.exe or the desktop shortcut.";
  std::function<void()> raise;  // set: called instead of returning the text
  qv::setup::UniqueHandle released;
};

class SetupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND Control(int id) const { return ::GetDlgItem(window_, id); }
  HWND Control(qv::setup::SetupControl control) const { return qv::setup::SetupControlHandle(control); }
  std::wstring StatusText() const { return WindowText(Control(qv::setup::SetupControl::kStatusLabel)); }
  void Command(int id) { ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  void PostLine(const std::wstring& line);
  // Waits for the worker's "finished" message to be handled.
  bool WaitUntilFinished();

  qv::setup::WindowThread thread_;
  HeldInstall install_;
  std::vector<std::filesystem::path> picks_;  // what the folder picker answers, in order
  std::vector<std::wstring> pick_titles_;
  HWND window_ = nullptr;
};

}  // namespace qv::test
