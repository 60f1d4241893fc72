// Pressing Install in the setup window: what it hands the worker, what the
// window looks like while the worker runs and after it reports, the question
// for a folder that already holds an installation, and cancelling.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/records/install-manifest.h"
#include "foundation/progress-report.h"
#include "foundation/setup-window-state.h"
#include "foundation/text/text.h"
#include "setup-window-fixture.h"
#include "setup/setup-hooks.h"
#include "setup/window/setup-window-layout.h"
#include "support/temp-folder.h"
#include "support/window-probe.h"
#include "update/build-identity.h"

namespace {

using namespace qv::setup;
using qv::test::PumpMessagesUntil;
using qv::test::WindowText;

constexpr int kInputs[] = {kPickPackageId, kLocationId, kInstallId, kSourceBoxId,
                           kFolderBoxId,   kShortcutBoxId, kPickFolderId};

bool Enabled(HWND control) { return ::IsWindowEnabled(control) != FALSE; }

void MakeInstallation(const std::filesystem::path& folder, const std::string& version) {
  std::filesystem::create_directories(folder);
  WriteInstallManifest(folder, version, {}, "");
}

// Answers the next message box of this process from another thread, as the
// user would, and keeps what it showed.
class MessageBoxAnswer {
 public:
  explicit MessageBoxAnswer(int button) {
    helper_ = std::thread([this, button] {
      HWND box = qv::test::WaitForTopLevelWindow(::GetCurrentProcessId(), L"#32770", 10000);
      if (box == nullptr) return;
      shown_ = qv::test::ReadWindow(box);
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    });
  }
  ~MessageBoxAnswer() {
    if (helper_.joinable()) helper_.join();
  }
  // What the box showed; waits for the helper, which ends once it has
  // answered (or after 10 s without a box).
  const qv::test::WindowSnapshot& shown() {
    if (helper_.joinable()) helper_.join();
    return shown_;
  }

 private:
  qv::test::WindowSnapshot shown_;
  std::thread helper_;
};

using SetupWindowInstall = qv::test::SetupWindowTest;

TEST_F(SetupWindowInstall, RunningLocksTheInputsAndSuccessLeavesInstalled) {
  qv::test::TempFolder temp{L"qv-window"};
  const std::wstring destination = (temp / L"Q.V. DU Vora").native();
  ::SetWindowTextW(Control(kSourceBoxId), L"D:\\dump\\CUSA09901");
  ::SetWindowTextW(Control(kFolderBoxId), destination.c_str());
  ::SendMessageW(Control(kShortcutBoxId), BM_SETCHECK, BST_UNCHECKED, 0);
  SetupWindow.last_permille = 640;
  SetupCancelFlag = true;  // left over from an earlier run

  Command(kInstallId);
  ASSERT_TRUE(PumpMessagesUntil([&] { return install_.started.load(); }));
  EXPECT_TRUE(SetupUi.running);
  EXPECT_FALSE(SetupCancelFlag);
  EXPECT_EQ(SetupWindow.last_permille, -1);
  for (int id : kInputs) EXPECT_FALSE(Enabled(Control(id))) << id;
  EXPECT_TRUE(Enabled(Control(kCloseId)));
  EXPECT_EQ(WindowText(Control(kCloseId)), L"Cancel");
  EXPECT_TRUE(SetupUi.marquee);
  EXPECT_NE(::GetWindowLongPtrW(Control(SetupControl::kProgressBar), GWL_STYLE) & PBS_MARQUEE, 0);

  // A second press while it runs (Enter reaches the handler even with the
  // button disabled) starts nothing.
  Command(kInstallId);
  PumpMessagesUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(install_.calls, 1);

  install_.Release();
  ASSERT_TRUE(WaitUntilFinished());
  EXPECT_EQ(StatusText(), L"Installed. Launch qv.exe or the desktop shortcut.");
  EXPECT_FALSE(Enabled(Control(kInstallId)));
  EXPECT_EQ(WindowText(Control(kInstallId)), L"Installed");
  EXPECT_EQ(WindowText(Control(kCloseId)), L"Close");
  for (int id : kInputs) {
    if (id != kInstallId) {
      EXPECT_TRUE(Enabled(Control(id))) << id;
    }
  }
  EXPECT_FALSE(SetupUi.marquee);
  EXPECT_EQ(::SendMessageW(Control(SetupControl::kProgressBar), PBM_GETPOS, 0, 0), 1000);

  SetupUi.worker.join();
  EXPECT_EQ(install_.last_job.source, L"D:\\dump\\CUSA09901");
  EXPECT_EQ(install_.last_job.destination, destination);
  EXPECT_FALSE(install_.last_job.createShortcut);

  // Close now closes.
  Command(kCloseId);
  EXPECT_FALSE(::IsWindow(window_));
  EXPECT_EQ(SetupWindow.window.load(), nullptr);
}

TEST_F(SetupWindowInstall, MarqueeRunsUntilTheFirstProgress) {
  ::SetWindowTextW(Control(kFolderBoxId), L"");
  Command(kInstallId);
  ASSERT_TRUE(PumpMessagesUntil([&] { return install_.started.load(); }));
  PostLine(L"Checking the setup file...");
  EXPECT_TRUE(SetupUi.marquee);
  EXPECT_EQ(StatusText(), L"Checking the setup file...");
  ReportProgress(3, 10);
  ASSERT_TRUE(PumpMessagesUntil([&] { return StatusText() == L"Checking the setup file... 30%"; }));
  EXPECT_FALSE(SetupUi.marquee);
  EXPECT_EQ(::SendMessageW(Control(SetupControl::kProgressBar), PBM_GETPOS, 0, 0), 300);
}

TEST_F(SetupWindowInstall, CloseWhileRunningOnlyAsksToCancel) {
  Command(kInstallId);
  ASSERT_TRUE(PumpMessagesUntil([&] { return install_.started.load(); }));
  ::SendMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(SetupCancelFlag);
  EXPECT_TRUE(::IsWindow(window_));
  SetupCancelFlag = false;
  Command(kCloseId);
  EXPECT_TRUE(SetupCancelFlag);
  EXPECT_TRUE(::IsWindow(window_));
  EXPECT_TRUE(IsSetupCancelled());

  install_.raise = [] { throw std::runtime_error("Installation cancelled."); };
  install_.Release();
  ASSERT_TRUE(WaitUntilFinished());
  EXPECT_EQ(StatusText(), L"Installation cancelled.");
  EXPECT_TRUE(::IsWindow(window_));
  // After a failure Install is offered again.
  EXPECT_TRUE(Enabled(Control(kInstallId)));
  EXPECT_EQ(WindowText(Control(kInstallId)), L"Install");
  ::SendMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(window_));
}

TEST_F(SetupWindowInstall, FailuresOfEveryKindEndInTheStatusAndAPressAfterwardsStartsAgain) {
  const struct {
    const char* what;
    std::function<void()> raise;
    std::wstring text;
  } cases[] = {
      {"sentence", [] { throw std::runtime_error("Not enough free space on the destination drive."); },
       L"Not enough free space on the destination drive."},
      {"UTF-8 sentence", [] { throw std::runtime_error("The folder \xC3\xA9t\xC3\xA9 cannot be read."); },
       L"The folder \u00E9t\u00E9 cannot be read."},
      {"not a std::exception", [] { throw 42; }, L"Installation failed."},
      {"empty text", [] { throw std::runtime_error(""); }, L"Installation failed."},
  };
  int calls = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (SetupUi.worker.joinable()) SetupUi.worker.join();
    install_.raise = c.raise;
    install_.Release();  // the worker runs through at once
    Command(kInstallId);  // joins the worker of the case before first
    ++calls;
    ASSERT_TRUE(WaitUntilFinished());
    EXPECT_EQ(install_.calls, calls);
    EXPECT_EQ(StatusText(), c.text);
    EXPECT_TRUE(Enabled(Control(kInstallId)));
    EXPECT_FALSE(SetupUi.marquee);
    EXPECT_EQ(::SendMessageW(Control(SetupControl::kProgressBar), PBM_GETPOS, 0, 0), 0);
  }
}

// A run that stops after its progress reached the end (a cancel or a failure
// in the last steps) must not look finished: the bar is emptied.
TEST_F(SetupWindowInstall, ACancelledOrFailedRunLeavesTheBarEmpty) {
  const struct {
    const char* what;
    std::function<void()> raise;
  } cases[] = {
      {"cancelled", [] { throw std::runtime_error("Installation cancelled."); }},
      {"failed", [] { throw std::runtime_error("Could not write the install manifest."); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (SetupUi.worker.joinable()) SetupUi.worker.join();
    ::ResetEvent(install_.released.get());  // held again until the bar is full
    install_.started = false;
    install_.raise = c.raise;
    Command(kInstallId);
    ASSERT_TRUE(PumpMessagesUntil([&] { return install_.started.load(); }));
    ReportProgress(10, 10);
    ASSERT_TRUE(PumpMessagesUntil([&] {
      return ::SendMessageW(Control(SetupControl::kProgressBar), PBM_GETPOS, 0, 0) == 1000;
    }));
    install_.Release();
    ASSERT_TRUE(WaitUntilFinished());
    EXPECT_FALSE(SetupUi.marquee);
    EXPECT_EQ(::SendMessageW(Control(SetupControl::kProgressBar), PBM_GETPOS, 0, 0), 0);
    EXPECT_TRUE(Enabled(Control(kInstallId)));
  }
}

TEST_F(SetupWindowInstall, AnExistingInstallationIsAskedAboutFirst) {
  qv::test::TempFolder temp{L"qv-window"};
  const std::filesystem::path installation = temp / L"Q.V. DU Vora";
  MakeInstallation(installation, "1.0.2");
  ::SetWindowTextW(Control(kFolderBoxId), installation.c_str());
  install_.Release();

  {
    MessageBoxAnswer answer(IDNO);
    Command(kInstallId);
    const qv::test::WindowSnapshot& box = answer.shown();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.owner, window_);
    EXPECT_EQ(box.title, L"Q.V. DU Vora Setup");
    EXPECT_TRUE(qv::test::HasStaticText(box, L"Q.V. is already installed here (version 1.0.2). Update it to version " +
                                                 qv::setup::Utf8ToWide(qv::update::CurrentVersion()) +
                                                 L"? The game files, settings, saves and anything else you added stay."));
    EXPECT_EQ(box.buttons.count(IDYES), 1u);
    EXPECT_EQ(box.buttons.count(IDNO), 1u);
  }
  PumpMessagesUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(install_.calls, 0);
  EXPECT_FALSE(SetupUi.running);
  EXPECT_TRUE(Enabled(Control(kInstallId)));

  {
    MessageBoxAnswer answer(IDYES);
    Command(kInstallId);
    ASSERT_NE(answer.shown().window, nullptr);
  }
  ASSERT_TRUE(WaitUntilFinished());
  EXPECT_EQ(install_.calls, 1);
}

TEST_F(SetupWindowInstall, AFolderThatCannotBeJudgedStopsThePressWithItsReason) {
  qv::test::TempFolder temp{L"qv-window"};
  qv::test::WriteTestFile(temp / L"other" / L"notes.txt", "not an installation");
  ::SetWindowTextW(Control(kFolderBoxId), (temp / L"other").c_str());
  Command(kInstallId);
  EXPECT_EQ(StatusText(),
            L"This folder holds something else. Choose a new installation folder, or a folder with a Q.V. install "
            L"to update it.");
  EXPECT_EQ(install_.calls, 0);
  EXPECT_FALSE(SetupUi.running);
  EXPECT_TRUE(Enabled(Control(kInstallId)));
}

// A folder box without a full path, or with a device name, is refused at the
// press with the install's own sentence: no question, no worker.
TEST_F(SetupWindowInstall, AFolderThatIsNoFullPathOrNamesADeviceStopsThePress) {
  qv::test::TempFolder temp{L"qv-window"};
  const std::wstring device = (temp / L"CON").native();
  const struct {
    std::wstring folder;
    std::wstring status;
  } cases[] = {
      {L"relative\\QV",
       L"Choose the installation folder by its full path, starting with a drive letter or a network share (for "
       L"example C:\\Games\\Q.V. DU Vora)."},
      {device, L"Could not create the folder " + device + L": Windows keeps the name \"CON\" for a device."},
  };
  install_.Release();
  for (const auto& c : cases) {
    ::SetWindowTextW(Control(kFolderBoxId), c.folder.c_str());
    Command(kInstallId);
    PumpMessagesUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(StatusText(), c.status);
    EXPECT_EQ(install_.calls, 0);
    EXPECT_FALSE(SetupUi.running);
    EXPECT_TRUE(Enabled(Control(kInstallId)));
  }
}

// A worker whose window is gone cannot hand over its text: the text is freed
// (nothing to see but the absence of a crash) and the worker still ends.
TEST(InstallWorker, FinishesWithoutAWindow) {
  ASSERT_EQ(SetupWindow.window.load(), nullptr);
  std::atomic<bool> ran{false};
  std::thread worker = StartInstallWorker(InstallJob{L"a", L"b", true}, [&](const InstallJob& job) {
    ran = job.source == L"a" && job.destination == L"b" && job.createShortcut;
    return std::wstring(L"done");
  });
  worker.join();
  EXPECT_TRUE(ran);
}

}  // namespace
