#include "setup-window-fixture.h"

#include <stdexcept>
#include <thread>

#include "foundation/setup-window-state.h"

namespace qv::test {

bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;  // the window's end; the test goes on
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

std::wstring WindowText(HWND window) { return qv::setup::GetControlText(window); }

HeldInstall::HeldInstall() : released(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

qv::setup::InstallJobRunner HeldInstall::Runner() {
  return [this](const qv::setup::InstallJob& job) -> std::wstring {
    ++calls;
    last_job = job;
    started = true;
    ::WaitForSingleObject(released.get(), 20000);
    if (raise) raise();
    return text;
  };
}

void HeldInstall::Release() { ::SetEvent(released.get()); }

void SetupWindowTest::SetUp() {
  qv::setup::SetupWindowHooks hooks;
  hooks.run_install = install_.Runner();
  hooks.pick_folder = [this](HWND, const wchar_t* title) -> std::optional<std::filesystem::path> {
    pick_titles_.push_back(title);
    if (picks_.empty()) return std::nullopt;
    std::filesystem::path chosen = picks_.front();
    picks_.erase(picks_.begin());
    return chosen;
  };
  qv::setup::SetupCancelFlag = false;
  window_ = qv::setup::CreateSetupWindow(::GetModuleHandleW(nullptr), std::move(hooks), L"C:\\Games\\Q.V. DU Vora");
  ASSERT_NE(window_, nullptr) << ::GetLastError();
}

void SetupWindowTest::TearDown() {
  install_.Release();  // a worker still held must not keep the join waiting
  qv::setup::ReleaseSetupWindow();
  PumpMessagesUntil([] { return true; }, std::chrono::milliseconds(0));
}

void SetupWindowTest::PostLine(const std::wstring& line) {
  auto text = std::make_unique<std::wstring>(line);
  ASSERT_TRUE(::PostMessageW(window_, qv::setup::kSetupStatusLineMessage, 0, reinterpret_cast<LPARAM>(text.get())));
  text.release();
  PumpMessagesUntil([] { return true; }, std::chrono::milliseconds(0));
}

bool SetupWindowTest::WaitUntilFinished() {
  return PumpMessagesUntil([] { return !qv::setup::SetupUi.running.load(); });
}

}  // namespace qv::test
