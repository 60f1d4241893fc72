// The route queue through the built program, as the game starts it.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/installation-guard.h"
#include "foundation/text/text.h"
#include "route-fixtures.h"
#include "routes/route-window-run.h"
#include "support/child-process.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/window-probe.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-text.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UpdaterText;
using qv::test::RouteGameFolder;
using qv::test::RunningGame;
using qv::test::StartedChild;
using qv::test::UpdaterLogMessages;

std::wstring Arabic(UpdaterText key) { return qv::setup::Utf8ToWide(qv::setup::UpdaterTextFor(9, key)); }

StartedChild StartQueue(const RouteGameFolder& game, std::vector<std::wstring> options) {
  std::vector<std::wstring> arguments = {L"--route-queue", game.path().native()};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return qv::test::StartProgram(qv::test::SetupProgramPath(), arguments);
}

TEST(RouteQueueProgram, WaitsInItsWindowThenStartsTheGameAgainAndEnds) {
  RouteGameFolder game;
  qv::test::PlaceStandInGame(game.path());
  RunningGame running;
  StartedChild program = StartQueue(game, {L"--ops", L"nr:install", L"--pid", std::to_wstring(running.process_id()),
                                           L"--lang", L"9", L"--", L"a", L"b c"});
  ASSERT_TRUE(program.started());
  HWND window = qv::test::WaitForTopLevelWindow(program.process_id(), L"QVRoute", 15000, false);
  ASSERT_NE(window, nullptr);

  const qv::test::WindowSnapshot shown = qv::test::ReadWindow(window);
  EXPECT_EQ(shown.title, Arabic(UpdaterText::kDlss5Title));
  EXPECT_NE(shown.extended_style & WS_EX_LAYOUTRTL, 0);
  EXPECT_EQ(shown.static_texts, std::vector<std::wstring>{Arabic(UpdaterText::kWaitingForGame)});
  RECT client{};
  ::GetClientRect(window, &client);
  const auto layout = qv::setup::ComputeRouteWindowLayout(qv::setup::kRouteClientHeight, ::GetDpiForSystem() / 96.0);
  EXPECT_EQ(client.right, layout.client.cx);
  EXPECT_EQ(client.bottom, layout.client.cy);

  // The close button, the system menu's Close and Alt+F4: the window stays.
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::PostMessageW(window, WM_SYSKEYDOWN, VK_F4, (1 << 29) | 1);  // F4 with Alt held
  ::PostMessageW(window, WM_SYSKEYUP, VK_F4, (1u << 31) | (1u << 30) | (1 << 29) | 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(program.WaitFor(std::chrono::milliseconds(0)));

  running.Close();
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(20)));
  EXPECT_EQ(program.Result().exit_code, 0u);
  EXPECT_FALSE(::IsWindow(window));

  const auto runs = qv::test::WaitForStandInGameRuns(game.path(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(runs[0].folder, qv::setup::WideToUtf8(game.path().native()));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: nr: the work folder is not the game's own, left out",
                                      "route queue: start ", "route queue: Q.V. started again"}));
}

// The game kept running through the whole wait: the queue gives its item up
// and, at its end, does not start a second copy beside the first.
TEST(RouteQueueProgram, AGameThatKeepsRunningIsNotStartedASecondTime) {
  RouteGameFolder game;
  qv::test::PlaceStandInGame(game.path());
  const fs::path work = game / L"data" / L"dlssg-unlock";
  fs::create_directories(work);
  qv::test::WriteStandInControl(game.path(), "sleep 180000\n");
  qv::setup::GameStart running = qv::setup::StartGame(game.path(), {L"first"}, false);
  ASSERT_TRUE(running.process.valid());
  ASSERT_EQ(qv::test::WaitForStandInGameRuns(game.path(), 1).size(), 1u);

  StartedChild program = StartQueue(game, {L"--ops", L"fg:install", L"--fg-work", work.native(), L"--pid",
                                           std::to_wstring(::GetProcessId(running.process.get())), L"--", L"again"});
  ASSERT_TRUE(program.started());
  // A minute's wait for the game, the failure notice, the end.
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(150)));
  EXPECT_EQ(program.Result().exit_code, 0u);
  EXPECT_EQ(::WaitForSingleObject(running.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // A start the queue made would be recorded within moments of its end.
  const auto runs = qv::test::WaitForStandInGameRuns(game.path(), 2, std::chrono::seconds(5));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"first"});
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start fg:install", "route queue: fg:install failed (exit -1)",
                                      "route queue: Q.V. still runs: not started a second time"}));
  EXPECT_EQ(qv::test::ReadTestFile(work / L"fg-route-result.txt"),
            "kind install\nexit -1\ndetail Q.V. was still running after 60 s\n");
  qv::test::EndStandInGame(runs[0]);
}

// Another run holds the installation (here this test program, as an update
// or an uninstall would): the queue changes nothing, tells the game why and
// leaves the game to that run.
TEST(RouteQueueProgram, WhileAnotherRunHoldsTheInstallationItRefuses) {
  RouteGameFolder game;
  qv::test::PlaceStandInGame(game.path());
  const fs::path work = game / L"data" / L"dlssg-unlock";
  fs::create_directories(work);
  std::optional<qv::setup::InstallationGuard> other = qv::setup::TryGuardInstallation(game.path(), "{another run}");
  ASSERT_TRUE(other);
  const auto run = qv::test::RunProgram(qv::test::SetupProgramPath(),
                                        {L"--route-queue", game.path().native(), L"--ops", L"fg:install", L"--fg-work",
                                         work.native(), L"--", L"again"});
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start fg:install",
                                      "route queue: refused: Another update of this install is running.",
                                      "route queue: fg:install failed (exit -1)",
                                      "route queue: Q.V. not started again: another run is at work on the installation"}));
  EXPECT_EQ(qv::test::ReadTestFile(work / L"fg-route-result.txt"),
            "kind install\nexit -1\ndetail Another update of this install is running.\n");
  EXPECT_TRUE(qv::test::WaitForStandInGameRuns(game.path(), 1, std::chrono::seconds(3)).empty());
}

TEST(RouteQueueProgram, WithoutTheGameItLogsThatItCouldNotStartIt) {
  RouteGameFolder game;
  StartedChild program = StartQueue(game, {L"--lang", L"0", L"--", L"-x"});
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(20)));
  EXPECT_EQ(program.Result().exit_code, 0u);
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start ", "route queue: Q.V. could not be started again"}));
}

TEST(RouteQueueProgram, CommandLinesThatAreNotTheRoleEndWithTwo) {
  RouteGameFolder game;
  qv::test::PlaceStandInGame(game.path());
  const std::vector<std::vector<std::wstring>> lines = {
      {L"--route-queue", game.path().native()},
      {L"--route-queue", L"", L"--ops", L"nr:install"},
      {L"--Route-queue", game.path().native(), L"--ops", L"nr:install"},
      {L"--route-queue"},
  };
  for (const auto& arguments : lines) {
    const auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), arguments);
    EXPECT_EQ(run.exit_code, 2u) << arguments.size();
  }
  EXPECT_TRUE(UpdaterLogMessages(game.path()).empty());
  EXPECT_TRUE(qv::test::ReadStandInGameRuns(game.path()).empty());
}

}  // namespace
