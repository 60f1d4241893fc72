// The frame-generation unlock route through the built program, as the game
// starts it: "--fg-route" and the route queue's "fg" items.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fg-route-fixtures.h"
#include "foundation/text/text.h"
#include "route-fixtures.h"
#include "routes/route-window-run.h"
#include "support/child-process.h"
#include "support/stand-in-game.h"
#include "support/test-paths.h"
#include "support/window-probe.h"
#include "update/updater/updater-text.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UpdaterText;
using qv::test::FgGame;
using qv::test::GameTree;
using qv::test::StartedChild;
using qv::test::UpdaterLogMessages;

std::wstring Text(int language, UpdaterText key) { return qv::setup::Utf8ToWide(qv::setup::UpdaterTextFor(language, key)); }

TEST(FgRouteProgram, InstallReinstallAndRemoveInTheirWindow) {
  FgGame game;
  const qv::test::Tree before = GameTree(game.path());
  struct Step {
    const wchar_t* action;
    UpdaterText first_status;
    std::string detail;
    qv::test::Tree after;
  };
  const Step steps[] = {
      {L"install", UpdaterText::kInstallingFrameGeneration, "installed proxy version.dll, DLSS-G runtime sm86-3.10.2",
       qv::test::InstalledTree("version.dll")},
      {L"reinstall", UpdaterText::kReinstallingFrameGeneration,
       "installed proxy version.dll, DLSS-G runtime sm86-3.10.2", qv::test::InstalledTree("version.dll")},
      {L"remove", UpdaterText::kRemovingFrameGeneration, "removed", before},
  };
  std::vector<std::string> log;
  for (const Step& step : steps) {
    SCOPED_TRACE(qv::setup::WideToUtf8(step.action));
    // The game runs until the window has been looked at: the worker waits for it.
    qv::test::RunningGame running;
    StartedChild program = qv::test::StartProgram(
        qv::test::SetupProgramPath(),
        {L"--fg-route", step.action, game.path().native(), L"--work", (game / L"data\\dlssg-unlock").native(),
         L"--lang", L"9", L"--pid", std::to_wstring(running.process_id()), L"--", L"-x"});
    ASSERT_TRUE(program.started());
    HWND window = qv::test::WaitForTopLevelWindow(program.process_id(), L"QVRoute", 15000, false);
    ASSERT_NE(window, nullptr);
    const qv::test::WindowSnapshot shown = qv::test::ReadWindow(window);
    EXPECT_EQ(shown.title, Text(9, UpdaterText::kFrameGenerationTitle));
    EXPECT_EQ(shown.extended_style & WS_EX_LAYOUTRTL, 0);  // left to right, also in Arabic
    EXPECT_EQ(shown.static_texts, std::vector<std::wstring>{Text(9, step.first_status)});
    RECT client{};
    ::GetClientRect(window, &client);
    const auto layout =
        qv::setup::ComputeRouteWindowLayout(qv::setup::kFgRouteClientHeight, ::GetDpiForSystem() / 96.0);
    EXPECT_EQ(client.bottom, layout.client.cy);

    running.Close();
    ASSERT_TRUE(program.WaitFor(std::chrono::seconds(60)));
    EXPECT_EQ(program.Result().exit_code, 0u);
    EXPECT_EQ(qv::test::FgResult(game.work()),
              qv::test::Result(qv::setup::WideToUtf8(step.action), 0, step.detail));
    EXPECT_EQ(GameTree(game.path()), step.after);

    if (std::wstring(step.action) == L"remove") {
      log.push_back("fg route: removed proxy version.dll");
    } else {
      if (std::wstring(step.action) == L"reinstall") log.push_back("fg route: removed proxy version.dll");
      log.push_back("fg route: installed: proxy version.dll, runtime sm86-3.10.2, 4 files (tool github v0.4.0)");
    }
    log.push_back("fg route: " + qv::setup::WideToUtf8(step.action) + " exit 0: " + step.detail);
    log.push_back("fg route: Q.V. started again");
    EXPECT_EQ(UpdaterLogMessages(game.path()), log);
  }
  const auto runs = qv::test::WaitForStandInGameRuns(game.path(), 3);
  ASSERT_EQ(runs.size(), 3u);
  for (const auto& run : runs) EXPECT_EQ(run.arguments, std::vector<std::string>{"-x"});
}

TEST(FgRouteProgram, TheQueueRunsTheSameOperation) {
  FgGame game;
  const auto run = qv::test::RunProgram(qv::test::SetupProgramPath(),
                                        {L"--route-queue", game.path().native(), L"--ops", L"fg:install", L"--fg-work",
                                         game.work().native(), L"--", L"-x"},
                                        {}, std::chrono::seconds(60));
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(qv::test::FgResult(game.work()),
            qv::test::Result("install", 0, "installed proxy version.dll, DLSS-G runtime sm86-3.10.2"));
  EXPECT_EQ(GameTree(game.path()), qv::test::InstalledTree("version.dll"));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{
                "route queue: start fg:install",
                "fg route: installed: proxy version.dll, runtime sm86-3.10.2, 4 files (tool github v0.4.0)",
                "fg route: install exit 0: installed proxy version.dll, DLSS-G runtime sm86-3.10.2",
                "route queue: fg:install finished", "route queue: Q.V. started again"}));
  const auto runs = qv::test::WaitForStandInGameRuns(game.path(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"-x"});
}

TEST(FgRouteProgram, CommandLinesThatAreNotTheRoleEndWithTwo) {
  FgGame game;
  const std::wstring work = game.work().native();
  const std::vector<std::vector<std::wstring>> lines = {
      {L"--fg-route", L"Install", game.path().native(), L"--work", work},
      {L"--fg-route", L"install", game.path().native()},
      {L"--fg-route", L"install", game.path().native(), L"--work", (game / L"data\\dlss5-unlock").native()},
      {L"--fg-route", L"install", game.path().native(), L"--work", (game / L"data\\DLSSG-unlock").native()},
      {L"--FG-route", L"install", game.path().native(), L"--work", work},
  };
  for (const auto& arguments : lines) {
    EXPECT_EQ(qv::test::RunProgram(qv::test::SetupProgramPath(), arguments).exit_code, 2u);
  }
  EXPECT_TRUE(UpdaterLogMessages(game.path()).empty());
  EXPECT_FALSE(fs::exists(game.work() / L"fg-route-result.txt"));
  EXPECT_EQ(GameTree(game.path()), qv::test::PlainTree());
}

}  // namespace
