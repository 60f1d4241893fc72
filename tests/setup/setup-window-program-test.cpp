// The setup window of a real release, started without arguments and driven
// from this test with the messages a user's clicks and typing send: a whole
// installation from a dumped game, the question for an existing
// installation, errors, and cancelling an installation kept busy by the
// package extraction helper.

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-pkg.h"
#include "setup/desktop-shortcut.h"
#include "setup/uninstall-entry.h"
#include "setup/window/setup-window-layout.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/window-probe.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;

// A control's text as the control itself holds it: asked with WM_GETTEXT,
// which also reaches edit boxes of another process (GetWindowTextW reads
// only the name a window of another process was made with).
std::wstring HeldText(HWND control) {
  const LRESULT length = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const LRESULT copied =
      ::SendMessageW(control, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

constexpr DWORD kWindowWaitMs = 20000;
constexpr auto kInstallTimeout = std::chrono::seconds(120);

// The first running process that `match` accepts; 0 when none.
DWORD FindProcess(const std::function<bool(const PROCESSENTRY32W&)>& match) {
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (match(entry)) return entry.th32ProcessID;
  }
  return 0;
}

DWORD HelperProcessId() {
  return FindProcess([](const PROCESSENTRY32W& entry) { return ::lstrcmpiW(entry.szExeFile, L"QV.PkgExtract.exe") == 0; });
}

bool HelperIsRunning() { return HelperProcessId() != 0; }

// When the process was created, in 100 ns units; 0 when it cannot be asked
// (it has ended).
ULONGLONG CreationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

ULONGLONG CreationTime(DWORD process_id) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  return process ? CreationTime(process.get()) : 0;
}

// A process the parent started (the helper's console host) that outlived it.
// A process records only its parent's id, and Wine hands the id of a process
// that ended to the next one soon: a process whose parent id matches may be
// the child of an earlier owner of that id. Only one created after the
// parent counts; the caller holds a handle to the parent, so its id cannot
// pass to a later process either.
bool LeftAChild(DWORD parent, ULONGLONG parent_created) {
  return FindProcess([&](const PROCESSENTRY32W& entry) {
           if (entry.th32ParentProcessID != parent) return false;
           const ULONGLONG created = CreationTime(entry.th32ProcessID);
           return created != 0 && created >= parent_created;
         }) != 0;
}

// The running setup window of a started release, as the user sees it.
class SetupWindowOfProgram {
 public:
  explicit SetupWindowOfProgram(const std::vector<std::string>& environment = {})
      : child_(qv::test::StartProgram(qv::test::TestReleaseSetup(L"good"), {}, environment)) {
    window_ = qv::test::WaitForTopLevelWindow(child_.process_id(), kSetupWindowClass, kWindowWaitMs);
  }
  ~SetupWindowOfProgram() { child_.Terminate(); }

  HWND window() const { return window_; }
  HWND Control(int id) const { return ::GetDlgItem(window_, id); }
  // The controls without ids, in the order the window made them.
  HWND Unnamed(SetupControl control) const {
    HWND child = ::GetWindow(window_, GW_CHILD);
    for (int i = 0; child != nullptr && i < static_cast<int>(control); ++i) child = ::GetWindow(child, GW_HWNDNEXT);
    return child;
  }
  std::wstring Status() const { return HeldText(Unnamed(SetupControl::kStatusLabel)); }
  bool Marquee() const {
    return (::GetWindowLongPtrW(Unnamed(SetupControl::kProgressBar), GWL_STYLE) & PBS_MARQUEE) != 0;
  }
  void Type(int id, const std::wstring& text) const {
    ::SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // A click: posted, so that a message box the click opens does not block the test.
  void Click(int id) const {
    ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
  }
  bool Running() const { return HeldText(Control(kCloseId)) == L"Cancel"; }
  bool Responsive() const {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
  }
  qv::test::StartedChild& child() { return child_; }

 private:
  qv::test::StartedChild child_;
  HWND window_ = nullptr;
};

// What a watcher saw while an install ran.
struct RunObservation {
  bool started = false;        // the window went into its running state
  bool always_responsive = true;
  bool inputs_locked = true;   // every input stayed disabled while running
  int marquee_faults = 0;      // the marquee after a percentage, or none before it
  std::set<std::wstring> percent_lines;  // status lines that ended in " N%"
};

// Watches the window from the press until it has finished (or `until` says
// to stop) and reports what it saw.
RunObservation WatchInstall(const SetupWindowOfProgram& setup, const std::function<bool()>& until = {}) {
  static const std::wregex percent_line(L".+ [0-9]{1,3}%");
  RunObservation seen;
  const auto deadline = std::chrono::steady_clock::now() + kInstallTimeout;
  for (int i = 0; i < 200 && !setup.Running(); ++i) ::Sleep(10);
  seen.started = setup.Running();
  struct Sample {
    std::wstring status;
    bool marquee;
  };
  std::vector<Sample> samples;
  bool until_held = false;
  while (setup.Running() && std::chrono::steady_clock::now() < deadline) {
    if (!setup.Responsive()) seen.always_responsive = false;
    for (int id : {kPickPackageId, kLocationId, kInstallId, kSourceBoxId, kFolderBoxId, kShortcutBoxId, kPickFolderId}) {
      if (::IsWindowEnabled(setup.Control(id)) && setup.Running()) seen.inputs_locked = false;
    }
    // The label is read twice around the bar's style: the same text both
    // times means no progress message came in between.
    const std::wstring before = setup.Status();
    const bool marquee = setup.Marquee();
    const bool stable = setup.Status() == before;
    if (stable) samples.push_back({before, marquee});
    // The state that ended the watch may have come after the last sample
    // (`until` reads the window again): the watch ends only once a sample
    // taken after it is among the samples.
    if (until_held && stable) break;
    if (until && until()) until_held = true;
    ::Sleep(15);
  }
  // The finished message sets the final text before Close says so: samples
  // of that text are of the end, not of the run.
  const std::wstring final_text = setup.Running() ? std::wstring() : setup.Status();
  bool percent_seen = false;
  for (const Sample& sample : samples) {
    if (!final_text.empty() && sample.status == final_text) continue;
    const bool with_percent = std::regex_match(sample.status, percent_line);
    percent_seen = percent_seen || with_percent;
    if (with_percent) seen.percent_lines.insert(sample.status);
    // Marquee until the first progress, a position from then on.
    if (sample.marquee == percent_seen) ++seen.marquee_faults;
  }
  return seen;
}

// The file's last write time, to the system's full precision.
std::uint64_t WriteTime(const fs::path& file) {
  UniqueFile handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME written{};
  if (!handle || !::GetFileTime(handle.get(), nullptr, nullptr, &written)) return 0;
  return (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

void RemoveShortcutAndUninstallEntry() {
  if (auto shortcut = DesktopShortcutPath()) ::DeleteFileW(shortcut->c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(kUninstallKeyPath).c_str());
}

class SetupWindowProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveShortcutAndUninstallEntry();
    WriteDumpedGame(dump_);
    fs::create_directories(games_);
  }
  void TearDown() override { RemoveShortcutAndUninstallEntry(); }

  qv::test::TempFolder temp_{L"qv-window-program"};
  fs::path dump_ = temp_ / L"dump" / L"CUSA09901";
  fs::path games_ = temp_ / L"games";
};

TEST_F(SetupWindowProgram, InstallsADumpedGameThenAsksBeforeTouchingIt) {
  const fs::path destination = games_ / L"Q.V. DU Vora";
  {
    SetupWindowOfProgram setup;
    ASSERT_NE(setup.window(), nullptr);
    setup.Type(kSourceBoxId, dump_.native());
    setup.Type(kFolderBoxId, destination.native());
    setup.Click(kInstallId);
    const RunObservation seen = WatchInstall(setup);
    EXPECT_TRUE(seen.started);
    EXPECT_TRUE(seen.always_responsive);
    EXPECT_TRUE(seen.inputs_locked);
    EXPECT_EQ(seen.marquee_faults, 0);
    ASSERT_FALSE(setup.Running()) << "the install did not finish";

    EXPECT_EQ(setup.Status(), L"Installed. Launch qv.exe or the desktop shortcut.");
    EXPECT_FALSE(::IsWindowEnabled(setup.Control(kInstallId)));
    EXPECT_EQ(HeldText(setup.Control(kInstallId)), L"Installed");
    EXPECT_EQ(HeldText(setup.Control(kCloseId)), L"Close");
    EXPECT_EQ(::SendMessageW(setup.Unnamed(SetupControl::kProgressBar), PBM_GETPOS, 0, 0), 1000);
    EXPECT_TRUE(fs::is_regular_file(destination / L"qv.exe"));
    EXPECT_TRUE(fs::is_regular_file(destination / L"qv-install-manifest.txt"));
    EXPECT_TRUE(fs::is_regular_file(destination / L"CUSA09901" / L"chunk1.psarc"));

    setup.Click(kCloseId);
    ASSERT_TRUE(setup.child().WaitFor(std::chrono::seconds(10)));
    EXPECT_EQ(setup.child().Result().exit_code, 0u);
  }

  // A new start offers the installation the desktop shortcut points to; an
  // error of the source lands in the status label; the existing
  // installation is asked about first: No changes nothing, Yes repairs it.
  {
    SetupWindowOfProgram setup;
    ASSERT_NE(setup.window(), nullptr);
    EXPECT_EQ(HeldText(setup.Control(kFolderBoxId)), destination.native());

    setup.Type(kSourceBoxId, (temp_ / L"no such dump").native());
    setup.Type(kFolderBoxId, (games_ / L"second").native());
    setup.Click(kInstallId);
    WatchInstall(setup);
    EXPECT_FALSE(setup.Status().empty());
    EXPECT_EQ(setup.Status().find(L"Installed"), std::wstring::npos) << WideToUtf8(setup.Status());
    EXPECT_TRUE(::IsWindowEnabled(setup.Control(kInstallId)));
    EXPECT_FALSE(fs::exists(games_ / L"second"));

    const std::uint64_t manifest_time = WriteTime(destination / L"qv-install-manifest.txt");
    ASSERT_NE(manifest_time, 0u);
    setup.Type(kSourceBoxId, dump_.native());
    setup.Type(kFolderBoxId, destination.native());
    setup.Click(kInstallId);
    HWND question = qv::test::WaitForTopLevelWindow(setup.child().process_id(), L"#32770", kWindowWaitMs);
    ASSERT_NE(question, nullptr);
    const qv::test::WindowSnapshot box = qv::test::ReadWindow(question);
    EXPECT_EQ(box.title, L"Q.V. DU Vora Setup");
    EXPECT_TRUE(qv::test::HasStaticText(
        box, L"Q.V. version 1.1.0 is already installed here and up to date. Repair it (check the game files and the "
             L"program files, and rewrite those that differ)?"));
    ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    for (int i = 0; i < 100 && ::IsWindow(question); ++i) ::Sleep(20);
    ::Sleep(200);
    EXPECT_FALSE(setup.Running());
    EXPECT_TRUE(::IsWindowEnabled(setup.Control(kInstallId)));
    EXPECT_EQ(WriteTime(destination / L"qv-install-manifest.txt"), manifest_time);

    setup.Click(kInstallId);
    question = qv::test::WaitForTopLevelWindow(setup.child().process_id(), L"#32770", kWindowWaitMs);
    ASSERT_NE(question, nullptr);
    ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    const RunObservation seen = WatchInstall(setup);
    EXPECT_TRUE(seen.started);
    EXPECT_TRUE(seen.always_responsive);
    EXPECT_EQ(setup.Status().rfind(L"Updated to version 1.1.0: ", 0), 0u) << WideToUtf8(setup.Status());
    EXPECT_EQ(HeldText(setup.Control(kInstallId)), L"Installed");

    // The window's close box closes it once nothing runs.
    ::PostMessageW(setup.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(setup.child().WaitFor(std::chrono::seconds(10)));
    EXPECT_EQ(setup.child().Result().exit_code, 0u);
  }
}

// The child check on a made-up reuse of an id: this test program stands for
// the parent, and a probe it started before the "parent" was created stands
// for a process an earlier owner of the id left behind.
TEST(SetupWindowProgramChecks, OnlyAProcessCreatedAfterItsParentCountsAsItsChild) {
  qv::test::StartedChild probe =
      qv::test::StartProgram(qv::test::TestBinaryFolder() / L"process-probe.exe", {L"sleep", L"30000"});
  ASSERT_TRUE(probe.started());
  const ULONGLONG probe_created = CreationTime(probe.process_id());
  ASSERT_NE(probe_created, 0u);
  const DWORD self = ::GetCurrentProcessId();
  EXPECT_TRUE(LeftAChild(self, CreationTime(::GetCurrentProcess())));
  EXPECT_FALSE(LeftAChild(self, probe_created + 1));
  probe.Terminate();
}

// The first top-level dialog of a process whose file name starts with `prefix`.
HWND DialogOfProcessNamed(const std::wstring& prefix, DWORD timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    const DWORD process = FindProcess([&](const PROCESSENTRY32W& entry) {
      return std::wstring_view(entry.szExeFile).starts_with(prefix);
    });
    if (process != 0) {
      if (HWND dialog = qv::test::WaitForTopLevelWindow(process, L"#32770", 1000)) return dialog;
    }
    ::Sleep(50);
  }
  return nullptr;
}

// What a player does who installs with Enter and later removes the game from
// the list of installed programs: Enter presses Install; the uninstall entry's
// command asks, hands the work to its temporary copy, and that copy says how
// many files it removed. With the player's data removed and their game files
// kept elsewhere, no folder is left, the shortcut's icon included.
TEST_F(SetupWindowProgram, EnterInstallsAndTheUninstallEntryLeavesNoFolder) {
  const fs::path destination = games_ / L"Q.V. DU Vora";
  {
    SetupWindowOfProgram setup;
    ASSERT_NE(setup.window(), nullptr);
    setup.Type(kSourceBoxId, dump_.native());
    setup.Type(kFolderBoxId, destination.native());
    // Enter typed in the folder box.
    ::PostMessageW(setup.Control(kFolderBoxId), WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(setup.Control(kFolderBoxId), WM_KEYUP, VK_RETURN, 0xC0000001);
    const RunObservation seen = WatchInstall(setup);
    ASSERT_TRUE(seen.started) << "Enter did not start the install";
    ASSERT_FALSE(setup.Running()) << "the install did not finish";
    EXPECT_EQ(setup.Status(), L"Installed. Launch qv.exe or the desktop shortcut.");
    // Enter again does nothing: Install is off after a success.
    ::PostMessageW(setup.Control(kFolderBoxId), WM_KEYDOWN, VK_RETURN, 1);
    ::Sleep(300);
    EXPECT_FALSE(setup.Running());
    setup.Click(kCloseId);
    ASSERT_TRUE(setup.child().WaitFor(std::chrono::seconds(10)));
  }
  ASSERT_TRUE(fs::is_regular_file(destination / L"icon0.png"));
  ASSERT_TRUE(fs::exists(*DesktopShortcutPath()));
  // The player keeps the game's files somewhere else.
  fs::rename(destination / L"CUSA09901", temp_ / L"kept game");

  const fs::path temporary = temp_ / L"tmp";
  fs::create_directories(temporary);
  const std::string temporary_text = WideToUtf8(temporary.native());
  qv::test::StartedChild uninstaller =
      qv::test::StartProgram(destination / L"qv-updater.exe", {L"--uninstall", L"--remove-data", destination.native()},
                             {"TMP=" + temporary_text, "TEMP=" + temporary_text});
  HWND question = qv::test::WaitForTopLevelWindow(uninstaller.process_id(), L"#32770", kWindowWaitMs);
  ASSERT_NE(question, nullptr);
  ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  ASSERT_TRUE(uninstaller.WaitFor(std::chrono::seconds(30)));

  HWND done = DialogOfProcessNamed(L"qv-uninstall-", 60000);
  ASSERT_NE(done, nullptr) << "the temporary copy showed no final box";
  const qv::test::WindowSnapshot box = qv::test::ReadWindow(done);
  EXPECT_EQ(box.title, L"Q.V. DU Vora Setup");
  bool counted = false;
  for (const std::wstring& text : box.static_texts) {
    counted = counted || (text.starts_with(L"Q.V. DU Vora has been uninstalled (") && text.ends_with(L" files removed)."));
  }
  EXPECT_TRUE(counted);
  ::PostMessageW(done, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (fs::exists(destination) && std::chrono::steady_clock::now() < deadline) ::Sleep(100);
  EXPECT_FALSE(fs::exists(destination));
  EXPECT_FALSE(fs::exists(*DesktopShortcutPath()));
  EXPECT_TRUE(fs::exists(temp_ / L"kept game" / L"chunk1.psarc"));
}

// The helper is made to wait long after it wrote its files; the user cancels
// (with Cancel, or by closing the window) while it waits.
TEST_F(SetupWindowProgram, CancelEndsAnInstallKeptBusyByTheHelper) {
  const fs::path package = temp_ / L"packages" / L"Q.V. game.pkg";
  qv::test::WriteTestFile(package, BuildTestPkg(PngBytes("icon of the package"), false));
  for (const bool close_box : {false, true}) {
    SCOPED_TRACE(close_box ? "window closed" : "Cancel pressed");
    const fs::path destination = games_ / (close_box ? L"closed" : L"cancelled");
    SetupWindowOfProgram setup({"QV_TEST_PKG_EXTRACT_DELAY_MS=60000"});
    ASSERT_NE(setup.window(), nullptr);
    setup.Type(kSourceBoxId, package.native());
    setup.Type(kFolderBoxId, destination.native());
    ::SendMessageW(setup.Control(kShortcutBoxId), BM_SETCHECK, BST_UNCHECKED, 0);
    setup.Click(kInstallId);

    // Cancel once the extraction shows its progress.
    const RunObservation seen = WatchInstall(setup, [&] { return HelperIsRunning() && setup.Status().find(L'%') != std::wstring::npos; });
    EXPECT_TRUE(seen.started);
    EXPECT_TRUE(seen.always_responsive);
    EXPECT_TRUE(seen.inputs_locked);
    EXPECT_EQ(seen.marquee_faults, 0);
    EXPECT_FALSE(seen.percent_lines.empty());
    ASSERT_TRUE(setup.Running());
    const DWORD helper = HelperProcessId();
    ASSERT_NE(helper, 0u);
    // Held until the check below: the helper's id stays its own meanwhile.
    const UniqueHandle helper_process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, helper));
    ASSERT_TRUE(helper_process.valid()) << ::GetLastError();
    const ULONGLONG helper_created = CreationTime(helper_process.get());
    ASSERT_NE(helper_created, 0u);

    const auto pressed = std::chrono::steady_clock::now();
    if (close_box) {
      ::PostMessageW(setup.window(), WM_CLOSE, 0, 0);
    } else {
      setup.Click(kCloseId);
    }
    while (setup.Running() && std::chrono::steady_clock::now() - pressed < std::chrono::seconds(30)) {
      EXPECT_TRUE(setup.Responsive());
      ::Sleep(10);
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed);
    EXPECT_LT(took.count(), 1500) << "cancelling took " << took.count() << " ms";
    EXPECT_EQ(setup.Status(), L"Installation cancelled.");
    EXPECT_TRUE(::IsWindow(setup.window()));  // closing only cancelled
    EXPECT_FALSE(HelperIsRunning());
    EXPECT_FALSE(LeftAChild(helper, helper_created));
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_TRUE(fs::is_empty(games_)) << "a staging folder was left";
    EXPECT_TRUE(::IsWindowEnabled(setup.Control(kInstallId)));

    setup.Click(kCloseId);
    ASSERT_TRUE(setup.child().WaitFor(std::chrono::seconds(10)));
    EXPECT_EQ(setup.child().Result().exit_code, 0u);
  }
}

}  // namespace
