// "--game-update" with its window, through the built program under Wine:
// the download from the test server stalls, the player presses Cancel, the
// download stops, the result dialog says so and the old game starts again.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text/text.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/test-paths.h"
#include "support/updater-log-lines.h"
#include "support/window-probe.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-text.h"
#include "update/updater/updater-window.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;
using qv::setup::UpdaterText;
using qv::setup::UpdaterTextFor;
using qv::setup::Utf8ToWide;

constexpr int kLanguage = 2;  // the fixture's "--lang 2"
constexpr DWORD kWindowWaitMs = 30000;
// How long the server holds a file's answer half sent before it closes.
constexpr int kStallMs = 4000;

std::wstring HeldText(HWND control) {
  wchar_t text[512] = {};
  ::SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

bool IsDownloadingLine(const std::wstring& text) {
  for (int percent = -1; percent <= 100; ++percent) {
    if (text == Utf8ToWide(qv::setup::PhaseLine(kLanguage, 2, kUpdateVersion, percent))) return true;
  }
  return false;
}

TEST_F(UpdaterProgram, CancelDuringAStalledDownloadStopsItAndSaysSo) {
  PlaceStandInGame(game.folder);  // so that the restart of the old game shows
  const qv::setup::TreeSnapshot before = Snapshot(game.games);
  // The signed manifest's two requests pass; every file request stalls.
  const std::string document =
      ServeRelease("window-stalled", L"update", kUpdateVersion, "skip=2&stall=" + std::to_string(kStallMs));
  StartedChild child = StartProgram(SetupProgramPath(), Arguments(game.folder), UpdaterEnvironment(document));
  ASSERT_TRUE(child.started());

  HWND window = WaitForTopLevelWindow(child.process_id(), qv::setup::win_updater::kUpdaterWindowClass, kWindowWaitMs);
  ASSERT_NE(window, nullptr) << child.Result().output;
  EXPECT_EQ(ReadWindow(window).title, Utf8ToWide(UpdaterTextFor(kLanguage, UpdaterText::kTitle)));
  HWND cancel = ::GetDlgItem(window, IDCANCEL);
  HWND status = ::FindWindowExW(window, nullptr, L"STATIC", nullptr);
  ASSERT_NE(cancel, nullptr);
  ASSERT_NE(status, nullptr);

  // Downloading: a file request is under way and the window says so.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((SetupRequests("window-stalled").size() < 3 || !IsDownloadingLine(HeldText(status))) &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(IsDownloadingLine(HeldText(status))) << qv::setup::WideToUtf8(HeldText(status));
  EXPECT_TRUE(::IsWindowEnabled(cancel));
  EXPECT_EQ(HeldText(cancel), Utf8ToWide(UpdaterTextFor(kLanguage, UpdaterText::kCancel)));

  // The player presses Cancel; the window stays until the download has stopped.
  const auto pressed = std::chrono::steady_clock::now();
  ::SendMessageW(cancel, BM_CLICK, 0, 0);
  EXPECT_TRUE(::IsWindow(window));

  HWND dialog = WaitForTopLevelWindow(child.process_id(), L"#32770", kStallMs + 20000);
  ASSERT_NE(dialog, nullptr) << child.Result().output;
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::milliseconds(kStallMs + 10000));
  const WindowSnapshot seen = ReadWindow(dialog);
  EXPECT_TRUE(HasStaticText(seen, Utf8ToWide(UpdaterTextFor(kLanguage, UpdaterText::kUpdateFailed))));
  bool detail_shown = false;
  for (const std::wstring& text : seen.static_texts) {
    detail_shown = detail_shown || text.find(L"Installation cancelled.") != std::wstring::npos;
  }
  EXPECT_TRUE(detail_shown) << testing::PrintToString(seen.static_texts);
  ::PostMessageW(dialog, TDM_CLICK_BUTTON, IDCLOSE, 0);

  ASSERT_TRUE(child.WaitFor(std::chrono::seconds(30)));
  EXPECT_EQ(child.Result().exit_code, 0u);
  // The failed update changed nothing, and the old game runs again.
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
  const std::vector<StandInGameRun> runs = GameRuns(game.folder, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"-windowed", "two words"}));
  EXPECT_TRUE(Contains(UpdaterLogMessages(game.folder), "failed: Installation cancelled."));
}

// While "Waiting for Q.V. to close..." the player presses Cancel, or closes
// the window: the wait ends within about a second as "Installation
// cancelled.", and the game, which still runs, is not started a second time.
TEST_F(UpdaterProgram, CancelWhileTheGameStillRunsEndsTheWaitWithoutASecondGame) {
  PlaceStandInGame(game.folder);
  WriteStandInControl(game.folder, "sleep 60000\n");
  const std::string document = ServeRelease("window-waiting", L"update", kUpdateVersion);
  const qv::setup::TreeSnapshot before = Snapshot(game.games);
  std::size_t runs = 0;
  for (const bool close_window : {false, true}) {
    SCOPED_TRACE(close_window ? "window closed" : "Cancel pressed");
    ++runs;
    qv::setup::GameStart running = qv::setup::StartGame(game.folder, {}, false);
    ASSERT_TRUE(running.process.valid());
    ASSERT_EQ(WaitForStandInGameRuns(game.folder, runs).size(), runs);
    const std::wstring pid = std::to_wstring(::GetProcessId(running.process.get()));
    StartedChild child =
        StartProgram(SetupProgramPath(), Arguments(game.folder, {L"--pid", pid}), UpdaterEnvironment(document));
    ASSERT_TRUE(child.started());

    HWND window = WaitForTopLevelWindow(child.process_id(), qv::setup::win_updater::kUpdaterWindowClass, kWindowWaitMs);
    ASSERT_NE(window, nullptr) << child.Result().output;
    HWND status = ::FindWindowExW(window, nullptr, L"STATIC", nullptr);
    ASSERT_NE(status, nullptr);
    const std::wstring waiting = Utf8ToWide(qv::setup::PhaseLine(kLanguage, 0, "", -1));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (HeldText(status) != waiting && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(HeldText(status), waiting);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // well into the wait

    const auto pressed = std::chrono::steady_clock::now();
    if (close_window) {
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
      ::SendMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    }
    HWND dialog = WaitForTopLevelWindow(child.process_id(), L"#32770", 30000);
    ASSERT_NE(dialog, nullptr) << child.Result().output;
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(3));
    bool cancelled_shown = false;
    for (const std::wstring& text : ReadWindow(dialog).static_texts) {
      cancelled_shown = cancelled_shown || text.find(L"Installation cancelled.") != std::wstring::npos;
    }
    EXPECT_TRUE(cancelled_shown);
    ::PostMessageW(dialog, TDM_CLICK_BUTTON, IDCLOSE, 0);
    ASSERT_TRUE(child.WaitFor(std::chrono::seconds(30)));
    EXPECT_EQ(child.Result().exit_code, 0u);

    // The game still runs, alone: no second start was recorded.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(::WaitForSingleObject(running.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ReadStandInGameRuns(game.folder).size(), runs);
    const std::vector<std::string> log = UpdaterLogMessages(game.folder);
    EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), "failed: Installation cancelled.")), runs);
    GameRuns(game.folder, runs);  // ends it
    ::WaitForSingleObject(running.process.get(), 15000);
  }
  EXPECT_EQ(Snapshot(game.games), before);
}

}  // namespace
