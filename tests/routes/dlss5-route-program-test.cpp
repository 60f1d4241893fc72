// The DLSS 5 route through the built program, as the game starts it, with the
// stand-in tool in the work folder and the stand-in game to start again.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dlss5-fixtures.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
#include "support/child-process.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/window-probe.h"
#include "update/updater/updater-text.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UpdaterText;
using qv::test::Dlss5Game;
using qv::test::ReadTestFile;
using qv::test::StartedChild;

std::string Native(const fs::path& path) { return qv::setup::NativePathToUtf8(path); }

std::string Sha256Of(const fs::path& file) { return qv::setup::HashFile(file); }

const std::string kLastLine = "done: " + std::string(81, 'x') + "...";

StartedChild StartRoute(const Dlss5Game& game, const wchar_t* action) {
  return qv::test::StartProgram(qv::test::SetupProgramPath(),
                                {L"--dlss5-route", action, game.game().native(), L"--work",
                                 (game.game() / L"data" / L"dlss5-unlock").native(), L"--lang", L"0", L"--pid", L"0",
                                 L"--", L"-x"});
}

TEST(Dlss5RouteProgram, InstallsWithTheToolInItsWindowThenStartsTheGameAgain) {
  Dlss5Game game;
  qv::test::PlaceStandInGame(game.game());
  // The stand-in takes its time, so the window can be looked at.
  game.Control("sleep 2000\njson escapes\n");
  StartedChild program = StartRoute(game, L"install");
  ASSERT_TRUE(program.started());
  HWND window = qv::test::WaitForTopLevelWindow(program.process_id(), L"QVRoute", 15000, false);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(qv::test::ReadWindow(window).title,
            qv::setup::Utf8ToWide(qv::setup::UpdaterTextFor(0, UpdaterText::kDlss5Title)));
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(60)));
  EXPECT_EQ(program.Result().exit_code, 0u);

  EXPECT_EQ(game.Result(), "kind install\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), qv::test::kPortReShadeBytes);
  const std::string port = Sha256Of(game.game() / L"dxgi.dll");
  const std::string shader = Sha256Of(game.game() / L"reshade-shaders" / L"x.fx");
  // The tool's values hold quotes, backslashes and control characters: escaped.
  EXPECT_EQ(ReadTestFile(game.game() / L"qv-dlss5-route.json"),
            qv::test::StandInRecord(game.game(), R"("na\"tive\\route")",
                                    R"({"reshade": "6.3 \"beta\"", "renodx": "C:\\renodx\\", )"
                                    R"("dlssnr": "310\u0001\tx\n"})"));
  const std::string qv_exe = Native(game.game() / L"qv.exe");
  EXPECT_EQ(qv::test::UpdaterLogMessages(game.game()),
            (std::vector<std::string>{
                "dlss5 route: install started, tool 2.0.8",
                "dlss5 route: installer: DLSS5 Autopilot 2.0.8 (stand-in)",
                "dlss5 route: installer:    installing the native route for " + qv_exe + "   ",
                "dlss5 route: installer: warning: no GPU preference set",
                "dlss5 route: installer:   done: " + std::string(114, 'x') + "  ",
                "dlss5 route: the port's own ReShade (no user interface) put down as dxgi.dll, sha256 " + port,
                // The tool's value ends in a line break: the log line stays one line.
                "dlss5 route: components: ReShade 6.3 \"beta\", renodx C:\\renodx\\, dlssnr 310\x01\tx  "
                "(tool https://tools.example/dlss5-autopilot v2.0.8-test)",
                "dlss5 route:   file dxgi.dll 42 bytes sha256 " + port,
                "dlss5 route:   file reshade-shaders/x.fx 19 bytes sha256 " + shader,
                "dlss5 route: installer exit 0: " + kLastLine,
                "dlss5 route: Q.V. started again",
            }));

  const auto runs = qv::test::WaitForStandInGameRuns(game.game(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"-x"});
}

TEST(Dlss5RouteProgram, RemoveTakesTheRecordAndThePortsReShadeAway) {
  Dlss5Game game;
  qv::test::PlaceStandInGame(game.game());
  StartedChild install = StartRoute(game, L"install");
  ASSERT_TRUE(install.WaitFor(std::chrono::seconds(60)));
  ASSERT_TRUE(fs::exists(game.game() / L"qv-dlss5-route.json"));
  ASSERT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), qv::test::kPortReShadeBytes);

  StartedChild remove = StartRoute(game, L"remove");
  ASSERT_TRUE(remove.WaitFor(std::chrono::seconds(60)));
  EXPECT_EQ(remove.Result().exit_code, 0u);
  EXPECT_EQ(game.Result(), "kind remove\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_FALSE(fs::exists(game.game() / L"qv-dlss5-route.json"));
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll"));
  EXPECT_FALSE(fs::exists(game.game() / L"dlss5-autopilot.json"));
  const std::vector<std::string> log = qv::test::UpdaterLogMessages(game.game());
  EXPECT_NE(std::find(log.begin(), log.end(), "dlss5 route: the port's own ReShade (dxgi.dll) deleted"), log.end());
  EXPECT_EQ(qv::test::WaitForStandInGameRuns(game.game(), 2).size(), 2u);
}

TEST(Dlss5RouteProgram, TheRouteQueueRunsTheSameOperationForItsNrItem) {
  Dlss5Game game;
  qv::test::PlaceStandInGame(game.game());
  StartedChild program = qv::test::StartProgram(
      qv::test::SetupProgramPath(), {L"--route-queue", game.game().native(), L"--ops", L"nr:install", L"--nr-work",
                                     (game.game() / L"data" / L"dlss5-unlock").native(), L"--", L"-y"});
  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(60)));
  EXPECT_EQ(program.Result().exit_code, 0u);
  EXPECT_EQ(game.Result(), "kind install\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), qv::test::kPortReShadeBytes);
  EXPECT_TRUE(fs::exists(game.game() / L"qv-dlss5-route.json"));
  const std::vector<std::string> log = qv::test::UpdaterLogMessages(game.game());
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), "route queue: start nr:install");
  EXPECT_EQ(log[1], "dlss5 route: install started, tool 2.0.8");
  EXPECT_EQ(log[log.size() - 2], "route queue: nr:install finished");
  EXPECT_EQ(log.back(), "route queue: Q.V. started again");
  const auto runs = qv::test::WaitForStandInGameRuns(game.game(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"-y"});
}

// A run killed while it copied the port's ReShade into place left the
// temporary copy in the game folder; the next run that gets to the ReShade
// takes it away, whether or not it puts a copy down itself.
TEST(Dlss5RouteProgram, AReShadeCopyLeftByAKilledRunIsDeletedByTheNextRemoveOrInstall) {
  struct Case {
    const wchar_t* action;
    bool package_has_reshade;
    const char* dxgi_after;  // nullptr: no "dxgi.dll" in the game folder
  };
  const Case cases[] = {
      {L"remove", true, nullptr},
      {L"install", true, qv::test::kPortReShadeBytes},
      {L"install", false, qv::test::kToolReShadeBytes},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(qv::setup::WideToUtf8(test.action) + (test.package_has_reshade ? "" : " without the port's ReShade"));
    Dlss5Game game;
    qv::test::PlaceStandInGame(game.game());
    if (!test.package_has_reshade) fs::remove(game.game() / L"reshade" / L"dxgi.dll");
    const fs::path leftover = game.game() / L"dxgi.dll.qv-tmp";
    qv::test::WriteTestFile(leftover, std::string(qv::test::kPortReShadeBytes).substr(0, 9));

    StartedChild program = StartRoute(game, test.action);
    ASSERT_TRUE(program.WaitFor(std::chrono::seconds(60)));
    EXPECT_EQ(program.Result().exit_code, 0u);
    const std::string ended = "kind " + qv::setup::WideToUtf8(test.action) + "\nexit 0\n";
    EXPECT_EQ(game.Result().rfind(ended, 0), 0u) << game.Result();
    EXPECT_FALSE(fs::exists(leftover));
    if (test.dxgi_after == nullptr) {
      EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll"));
    } else {
      EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), test.dxgi_after);
    }
    EXPECT_EQ(qv::test::WaitForStandInGameRuns(game.game(), 1).size(), 1u);
  }
}

// The tool's hasher retries a file it may not open, as one another program
// holds, for about 10 s. A folder under the tool's name is no such file: the
// route refuses it at once.
TEST(Dlss5RouteProgram, AToolPathThatIsAFolderIsRefusedAtOnce) {
  Dlss5Game game;
  qv::test::PlaceStandInGame(game.game());
  fs::remove(game.tool());
  fs::create_directories(game.tool() / L"inside");

  const auto started = std::chrono::steady_clock::now();
  StartedChild program = StartRoute(game, L"install");
  ASSERT_TRUE(program.started());
  const std::string refused = "kind install\nexit -1\ndetail refused " + Native(game.tool()) +
                              ": SHA-256 unreadable, expected " + game.tool_digest() + "\n";
  while (game.Result() != refused && std::chrono::steady_clock::now() - started < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  EXPECT_EQ(game.Result(), refused);
  // The program's own start under Wine is part of this; the retries alone take 10 s.
  EXPECT_LT(took.count(), 4000) << "the refusal took " << took.count() << " ms";

  ASSERT_TRUE(program.WaitFor(std::chrono::seconds(60)));
  EXPECT_EQ(program.Result().exit_code, 0u);
  EXPECT_TRUE(fs::is_directory(game.tool() / L"inside"));
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll"));
  EXPECT_EQ(qv::test::WaitForStandInGameRuns(game.game(), 1).size(), 1u);
}

TEST(Dlss5RouteProgram, AWorkFolderThatIsNotTheGamesOwnIsNotThisRole) {
  Dlss5Game game;
  qv::test::PlaceStandInGame(game.game());
  const auto run = qv::test::RunProgram(qv::test::SetupProgramPath(),
                                        {L"--dlss5-route", L"install", game.game().native(), L"--work",
                                         (game.game() / L"data" / L"elsewhere").native()});
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_TRUE(qv::test::UpdaterLogMessages(game.game()).empty());
  EXPECT_TRUE(game.ToolRuns().empty());
}

}  // namespace
