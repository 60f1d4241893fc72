// The DLSS 5 route's operation in this process, with the stand-in tool doing
// what the outside tool would, and the route's checks running unchanged.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dlss5-fixtures.h"
#include "engine/route-files.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-operation.h"
#include "routes/dlss5/dlss5-route-record.h"
#include "routes/dlss5/dlss5-route-role.h"
#include "routes/dlss5/dlss5-route-state.h"
#include "routes/dlss5/dlss5-tool-source.h"
#include "routes/route-queue-run.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RouteAction;
using qv::test::Dlss5Game;
using qv::test::Dlss5LogMessages;
using qv::test::Dlss5Recorder;
using qv::test::kPortReShadeBytes;
using qv::test::kToolReShadeBytes;
using qv::test::ReadTestFile;
using qv::test::WriteTestFile;
namespace win_route = qv::setup::win_route;

constexpr int kInstalling = 17;
constexpr int kRemoving = 18;
constexpr int kReinstalling = 23;
constexpr int kChecking = 24;
constexpr int kFailed = 25;
constexpr int kGameStillRunning = 27;
constexpr int kLeftToAnotherRun = 28;
constexpr std::chrono::milliseconds kFailurePause{3000};

// The stand-in's default last line, as the result file carries it.
const std::string kLastLine = "done: " + std::string(81, 'x') + "...";

std::string Sha256Of(const std::string& bytes) {
  qv::test::TempFolder folder(L"qv-dlss5-hash");
  WriteTestFile(folder / L"f", bytes);
  return qv::setup::HashFile(folder / L"f");
}

std::string Native(const fs::path& path) { return qv::setup::NativePathToUtf8(path); }

int RunOperation(const Dlss5Game& game, RouteAction action, Dlss5Recorder& recorder,
        qv::setup::Dlss5RouteSettings settings) {
  win_route::State state = game.State(action);
  return qv::setup::RunDlss5RouteOperation(state, recorder.Progress(), settings);
}

int RunOperation(const Dlss5Game& game, RouteAction action, Dlss5Recorder& recorder) {
  return RunOperation(game, action, recorder, recorder.Settings());
}

// The lines the stand-in prints, as the route copies them.
std::vector<std::string> InstallerLines(const Dlss5Game& game, const char* what) {
  return {"installer: DLSS5 Autopilot 2.0.8 (stand-in)",
          "installer:    " + std::string(what) + " for " + Native(game.game() / L"qv.exe") + "   ",
          "installer: warning: no GPU preference set", "installer:   done: " + std::string(114, 'x') + "  "};
}

std::vector<std::string> Joined(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Dlss5Operation, DefaultsWaitAMinutePauseThreeSecondsAndStopTheToolAfterTwentyMinutes) {
  const qv::setup::Dlss5RouteSettings settings;
  EXPECT_EQ(settings.game_wait, std::chrono::milliseconds(60000));
  EXPECT_EQ(settings.failure_pause, std::chrono::milliseconds(3000));
  EXPECT_EQ(settings.tool_time_limit, std::chrono::milliseconds(1200000));
}

TEST(Dlss5Operation, InstallRunsTheToolPutsThePortsReShadeDownAndRecordsEverything) {
  Dlss5Game game;
  Dlss5Recorder recorder;
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder), 0);

  EXPECT_EQ(game.Result(), "kind install\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_EQ(recorder.keys, (std::vector<int>{kInstalling, kChecking}));
  EXPECT_TRUE(recorder.pauses.empty());
  // Run in the work folder on the game's executable, with the install arguments.
  const std::vector<std::string> runs = game.ToolRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].substr(0, 12), "install pid ");
  EXPECT_EQ(runs[0].substr(runs[0].find(" cwd ")), " cwd " + Native(game.work()) + " args " +
                                                       Native(game.game() / L"qv.exe") +
                                                       " | --route | native | --no-gpu-pref");

  const std::string port = Sha256Of(kPortReShadeBytes);
  const std::string shader = qv::setup::HashFile(game.game() / L"reshade-shaders" / L"x.fx");
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kPortReShadeBytes);
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll.qv-tmp"));
  EXPECT_EQ(ReadTestFile(game.game() / L"qv-dlss5-route.json"),
            qv::test::StandInRecord(game.game(), R"("native")",
                                    R"({"reshade": "6.3.3", "renodx": "0.62", "dlssnr": "310.2.1"})"));
  EXPECT_EQ(Dlss5LogMessages(game.game()),
            Joined({{"install started, tool 2.0.8"}, InstallerLines(game, "installing the native route"),
                    {"the port's own ReShade (no user interface) put down as dxgi.dll, sha256 " + port,
                     "components: ReShade 6.3.3, renodx 0.62, dlssnr 310.2.1 (tool "
                     "https://tools.example/dlss5-autopilot v2.0.8-test)",
                     "  file dxgi.dll 42 bytes sha256 " + port, "  file reshade-shaders/x.fx 19 bytes sha256 " + shader,
                     "installer exit 0: " + kLastLine}}));

  // The install engine keeps the tool's files on later updates.
  const qv::setup::RouteFileKeys keys = qv::setup::CollectRouteFiles(game.game());
  for (const char* key : {"dlss5-autopilot.json", "dxgi.dll", "reshade-shaders/x.fx"}) {
    EXPECT_EQ(keys.count(key), 1u) << key;
  }
}

TEST(Dlss5Operation, RemoveDeletesThePortsReShadeOnlyWhileItIsTheRecordedCopy) {
  struct Case {
    const char* name;
    std::string dxgi_before_remove;  // what stands in the game folder; "" = as the install left it
    bool keep_record;                // false: the record is deleted before the remove
    std::string record_override;     // replaces the record when not empty
    bool port_copy_deleted;
  };
  const std::vector<Case> cases = {
      {"recorded copy", "", true, "", true},
      {"user's own file", "the user's own dxgi.dll\n", true, "", false},
      {"no record", "", false, "", false},
      {"record with empty hash", "", true, "{\"qv_reshade_sha256\": \"\"}", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dlss5Game game;
    Dlss5Recorder install;
    ASSERT_EQ(RunOperation(game, RouteAction::kInstall, install), 0);
    if (!c.dxgi_before_remove.empty()) WriteTestFile(game.game() / L"dxgi.dll", c.dxgi_before_remove);
    if (!c.keep_record) fs::remove(game.game() / L"qv-dlss5-route.json");
    if (!c.record_override.empty()) WriteTestFile(game.game() / L"qv-dlss5-route.json", c.record_override);
    const std::string dxgi = ReadTestFile(game.game() / L"dxgi.dll");
    fs::remove(game.game() / L"data" / L"qv-updater.log");

    Dlss5Recorder recorder;
    EXPECT_EQ(RunOperation(game, RouteAction::kRemove, recorder), 0);
    EXPECT_EQ(game.Result(), "kind remove\nexit 0\ndetail " + kLastLine + "\n");
    EXPECT_EQ(recorder.keys, std::vector<int>{kRemoving});
    EXPECT_FALSE(fs::exists(game.game() / L"qv-dlss5-route.json"));
    EXPECT_FALSE(fs::exists(game.game() / L"dlss5-autopilot.json"));
    EXPECT_EQ(fs::exists(game.game() / L"dxgi.dll"), !c.port_copy_deleted);
    if (!c.port_copy_deleted) {
      EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), dxgi);
    }
    std::vector<std::string> expected =
        Joined({{"remove started, tool 2.0.8"}, InstallerLines(game, "removing the route")});
    if (c.port_copy_deleted) expected.push_back("the port's own ReShade (dxgi.dll) deleted");
    expected.push_back("installer exit 0: " + kLastLine);
    EXPECT_EQ(Dlss5LogMessages(game.game()), expected);
  }
}

TEST(Dlss5Operation, ReinstallWritesBothLogsAndInstallsEvenWhenTheRemovingRunFails) {
  Dlss5Game game;
  Dlss5Recorder first;
  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, first), 0);
  game.Control("remove-exit 5\n");

  Dlss5Recorder recorder;
  EXPECT_EQ(RunOperation(game, RouteAction::kReinstall, recorder), 0);
  EXPECT_EQ(game.Result(), "kind reinstall\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_EQ(recorder.keys, (std::vector<int>{kReinstalling, kChecking}));
  const std::vector<std::string> runs = game.ToolRuns();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].substr(0, 7), "remove ");
  EXPECT_EQ(runs[2].substr(0, 8), "install ");
  EXPECT_TRUE(fs::exists(game.work() / L"autopilot-reinstall-remove.log"));
  EXPECT_TRUE(fs::exists(game.work() / L"autopilot-reinstall-install.log"));
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kPortReShadeBytes);
  EXPECT_EQ(qv::setup::ReadRecordedReShadeHash(game.State(RouteAction::kRemove)), Sha256Of(kPortReShadeBytes));
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  const auto installer_lines = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("installer: DLSS5 Autopilot", 0) == 0;
  });
  EXPECT_EQ(installer_lines, 3);  // the first install, then both runs of the reinstall
}

// Each way the operation can fail, with what the result file, the log, the
// window and the game folder show.
TEST(Dlss5Operation, ARefusedToolChangesNothingInTheGameFolder) {
  struct Case {
    const char* name;
    bool tool_missing;
    bool wrong_digest;
  };
  for (const Case& c : {Case{"tool missing", true, false}, Case{"other digest named", false, true}}) {
    SCOPED_TRACE(c.name);
    Dlss5Game game;
    std::string expected = game.tool_digest();
    std::string actual = game.tool_digest();
    if (c.tool_missing) {
      fs::remove(game.tool());
      actual.clear();
    }
    if (c.wrong_digest) {
      expected = std::string(64, 'a');
      game.WriteToolSource("a\nb\nc\n" + expected + "\n");
    }
    const qv::setup::TreeSnapshot before = game.GameFiles();
    Dlss5Recorder recorder;
    EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder), -1);
    EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail refused " + Native(game.tool()) + ": SHA-256 " +
                                 (actual.empty() ? "unreadable" : actual) + ", expected " + expected + "\n");
    EXPECT_EQ(Dlss5LogMessages(game.game()),
              (std::vector<std::string>{"install started, tool 2.0.8",
                                        "tool refused, SHA-256 " + actual + " expected " + expected}));
    EXPECT_EQ(recorder.keys, std::vector<int>{kFailed});
    EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
    EXPECT_TRUE(game.ToolRuns().empty());
    EXPECT_EQ(game.GameFiles(), before);
  }
}

// The temporary copy of a run killed while it put the port's ReShade down is
// the route's alone: every later run takes it away first, also one whose tool
// then fails or is refused.
TEST(Dlss5Operation, EveryRunFirstRemovesTheTemporaryCopyAKilledRunLeft) {
  struct Case {
    const char* name;
    RouteAction action;
    const char* control;  // the stand-in's control file
    bool tool_missing;
    int exit_code;
  };
  for (const Case& c : {Case{"install, tool fails", RouteAction::kInstall, "install-exit 7\n", false, 7},
                        Case{"install, tool refused", RouteAction::kInstall, "", true, -1},
                        Case{"reinstall, tool fails", RouteAction::kReinstall, "install-exit 7\n", false, 7},
                        Case{"install succeeds", RouteAction::kInstall, "", false, 0},
                        Case{"remove", RouteAction::kRemove, "", false, 0}}) {
    SCOPED_TRACE(c.name);
    Dlss5Game game;
    WriteTestFile(game.game() / L"dxgi.dll.qv-tmp", "left by a killed run");
    game.Control(c.control);
    if (c.tool_missing) fs::remove(game.tool());
    Dlss5Recorder recorder;
    EXPECT_EQ(RunOperation(game, c.action, recorder), c.exit_code);
    EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll.qv-tmp"));
  }
}

// Line 4 of "tool-source.txt" names the digest only when it has exactly 64
// characters; otherwise the built-in digest decides, which the stand-in never has.
TEST(Dlss5Operation, TheExpectedDigestComesFromToolSourceTxtOrIsBuiltIn) {
  const std::string built_in = qv::setup::BuiltInDlss5ToolDigest();
  ASSERT_EQ(built_in.size(), 64u);
  EXPECT_EQ(built_in.find_first_not_of("0123456789abcdef"), std::string::npos);
  Dlss5Game game;
  const std::string digest = game.tool_digest();
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    const char* name;
    std::optional<std::string> text;  // none: no file
    std::string expected;             // what the refusal names; empty: accepted
  };
  const std::vector<Case> cases = {
      {"no file", std::nullopt, built_in},
      {"three lines", "src\ntag\n" + digest + "\n", built_in},
      {"63 characters", "src\ntag\n\n" + digest.substr(1) + "\n", built_in},
      {"65 characters", "src\ntag\n\n" + digest + "0\n", built_in},
      {"upper case, taken as it stands", "src\ntag\n\n" + upper + "\n", upper},
      {"CR LF", "src\r\ntag\r\n\r\n" + digest + "\r\n", ""},
      {"no line end at the end", "src\ntag\n\n" + digest, ""},
      {"more lines after it", "src\ntag\n\n" + digest + "\nmore\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(game.work() / L"tool-source.txt");
    if (c.text) game.WriteToolSource(*c.text);
    Dlss5Recorder recorder;
    // A removal with nothing installed: the quickest run of the tool.
    const int exit_code = RunOperation(game, RouteAction::kRemove, recorder);
    if (c.expected.empty()) {
      EXPECT_EQ(exit_code, 0);
      EXPECT_EQ(game.Result().substr(0, 19), "kind remove\nexit 0\n") << game.Result();
    } else {
      EXPECT_EQ(exit_code, -1);
      EXPECT_EQ(game.Result(), "kind remove\nexit -1\ndetail refused " + Native(game.tool()) + ": SHA-256 " +
                                   digest + ", expected " + c.expected + "\n");
    }
  }
}

TEST(Dlss5Operation, AFileThatIsNoProgramCannotBeStarted) {
  Dlss5Game game;
  WriteTestFile(game.tool(), "this is not a program\n");
  game.WriteToolSource("a\nb\nc\n" + qv::setup::HashFile(game.tool()) + "\n");
  const qv::setup::TreeSnapshot before = game.GameFiles();
  Dlss5Recorder recorder;
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder), -1);
  EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail the installer could not be started\n");
  EXPECT_EQ(Dlss5LogMessages(game.game()),
            (std::vector<std::string>{"install started, tool 2.0.8",
                                      "installer exit -1: the installer could not be started"}));
  EXPECT_EQ(recorder.keys, (std::vector<int>{kInstalling, kFailed}));
  EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
  EXPECT_EQ(game.GameFiles(), before);
}

TEST(Dlss5Operation, AToolThatRunsPastTheLimitIsStoppedAndLeavesNoProcess) {
  Dlss5Game game;
  game.Control("sleep 60000\n");
  Dlss5Recorder recorder;
  qv::setup::Dlss5RouteSettings settings = recorder.Settings();
  settings.tool_time_limit = std::chrono::milliseconds(1500);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder, settings), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail the installer ran for 20 minutes and was stopped\n");
  EXPECT_EQ(recorder.keys, (std::vector<int>{kInstalling, kFailed}));
  EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "installer exit -1: the installer ran for 20 minutes and was stopped");
  EXPECT_FALSE(fs::exists(game.game() / L"qv-dlss5-route.json"));

  // The stand-in wrote its process id before it slept: that process has ended.
  const std::vector<std::string> runs = game.ToolRuns();
  ASSERT_EQ(runs.size(), 1u);
  const DWORD pid = static_cast<DWORD>(std::stoul(runs[0].substr(12)));
  qv::setup::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (process) {
    EXPECT_EQ(::WaitForSingleObject(process.get(), 0), WAIT_OBJECT_0);
  }
}

TEST(Dlss5Operation, ANonZeroExitPassesTheToolsCodeAndLastLineOn) {
  Dlss5Game game;
  game.Control("install-exit 7\nlast broken: could not patch qv.exe\n");
  Dlss5Recorder recorder;
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder), 7);
  EXPECT_EQ(game.Result(), "kind install\nexit 7\ndetail broken: could not patch qv.exe\n");
  EXPECT_EQ(Dlss5LogMessages(game.game()).back(), "installer exit 7: broken: could not patch qv.exe");
  EXPECT_EQ(recorder.keys, (std::vector<int>{kInstalling, kFailed}));
  EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
  // Nothing of the port's steps ran: the tool's own ReShade stays, no record.
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kToolReShadeBytes);
  EXPECT_FALSE(fs::exists(game.game() / L"qv-dlss5-route.json"));
}

TEST(Dlss5Operation, TheGameStillRunningEndsTheWorkBeforeTheTool) {
  Dlss5Game game;
  qv::test::RunningGame running;
  win_route::State state = game.State(RouteAction::kInstall);
  state.game_process_id = running.process_id();
  const qv::setup::TreeSnapshot before = game.GameFiles();
  Dlss5Recorder recorder;
  win_route::RouteWork(state, recorder.Progress(), recorder.Settings(std::chrono::milliseconds(300)));
  running.Close();
  EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail Q.V. was still running after 60 s\n");
  EXPECT_EQ(Dlss5LogMessages(game.game()),
            (std::vector<std::string>{"install started, tool 2.0.8", "Q.V. was still running after 60 s"}));
  EXPECT_EQ(recorder.keys, (std::vector<int>{1, kGameStillRunning}));
  EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
  EXPECT_TRUE(game.ToolRuns().empty());
  EXPECT_EQ(game.GameFiles(), before);
}

// Another run holds the installation: the tool never runs, the game is not
// waited for, and the notice leaves the game to that run.
TEST(Dlss5Operation, ARefusalEndsTheWorkBeforeTheWaitAndLeavesTheGameToTheOtherRun) {
  Dlss5Game game;
  qv::test::RunningGame running;
  win_route::State state = game.State(RouteAction::kInstall);
  state.game_process_id = running.process_id();
  state.refusal = "Another update of this install is running.";
  const qv::setup::TreeSnapshot before = game.GameFiles();
  Dlss5Recorder recorder;
  win_route::RouteWork(state, recorder.Progress(), recorder.Settings(std::chrono::seconds(20)));
  running.Close();
  EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail Another update of this install is running.\n");
  EXPECT_EQ(recorder.keys, std::vector<int>{kLeftToAnotherRun});
  EXPECT_EQ(recorder.pauses, std::vector<std::chrono::milliseconds>{kFailurePause});
  EXPECT_TRUE(game.ToolRuns().empty());
  EXPECT_EQ(game.GameFiles(), before);
}

TEST(Dlss5Operation, WithoutAGameProcessTheWorkDoesNotWaitAndShowsKeyOneFirst) {
  Dlss5Game game;
  win_route::State state = game.State(RouteAction::kInstall);
  Dlss5Recorder recorder;
  win_route::RouteWork(state, recorder.Progress(), recorder.Settings());
  EXPECT_EQ(recorder.keys, (std::vector<int>{1, kInstalling, kChecking}));
  EXPECT_EQ(game.Result().substr(0, 20), "kind install\nexit 0\n");
}

TEST(Dlss5Operation, WithoutThePortsReShadeTheToolsOwnStaysAndTheInstallSucceeds) {
  Dlss5Game game;
  fs::remove(game.game() / L"reshade" / L"dxgi.dll");
  Dlss5Recorder recorder;
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder), 0);
  EXPECT_EQ(recorder.keys, (std::vector<int>{kInstalling, kChecking}));
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kToolReShadeBytes);
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "the port's own ReShade was not put down (the package has no " +
                          Native(game.game() / L"reshade" / L"dxgi.dll") + "); Autopilot's ReShade stays"),
            log.end());
  EXPECT_EQ(qv::setup::ReadRecordedReShadeHash(game.State(RouteAction::kRemove)), "");
  EXPECT_TRUE(fs::exists(game.game() / L"qv-dlss5-route.json"));
}

TEST(Dlss5Operation, ACopyThatDiffersFromThePackageNeverReplacesTheToolsReShade) {
  Dlss5Game game;
  Dlss5Recorder recorder;
  qv::setup::Dlss5RouteSettings settings = recorder.Settings();
  settings.copy_file = [](const fs::path& from, const fs::path& to) {
    std::string bytes = ReadTestFile(from);
    bytes[0] ^= 0x01;
    WriteTestFile(to, bytes);
    return true;
  };
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder, settings), 0);
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kToolReShadeBytes);
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll.qv-tmp"));
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "the port's own ReShade was not put down (the copied " + Native(game.game() / L"dxgi.dll") +
                          " does not match the package's); Autopilot's ReShade stays"),
            log.end());
  EXPECT_EQ(qv::setup::ReadRecordedReShadeHash(game.State(RouteAction::kRemove)), "");

  // The tool's own file is the tool's to remove; the route deletes nothing.
  Dlss5Recorder removal;
  EXPECT_EQ(RunOperation(game, RouteAction::kRemove, removal), 0);
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll"));
  const std::vector<std::string> removal_log = Dlss5LogMessages(game.game());
  EXPECT_EQ(std::find(removal_log.begin(), removal_log.end(), "the port's own ReShade (dxgi.dll) deleted"),
            removal_log.end());
}

TEST(Dlss5Operation, ACopyThatFailsLeavesTheToolsReShadeAndNoTemporaryFile) {
  Dlss5Game game;
  WriteTestFile(game.game() / L"dxgi.dll.qv-tmp", "left by an earlier run");
  Dlss5Recorder recorder;
  qv::setup::Dlss5RouteSettings settings = recorder.Settings();
  settings.copy_file = [](const fs::path&, const fs::path& to) {
    WriteTestFile(to, "half");
    return false;
  };
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder, settings), 0);
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kToolReShadeBytes);
  EXPECT_FALSE(fs::exists(game.game() / L"dxgi.dll.qv-tmp"));
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "the port's own ReShade was not put down (could not replace " +
                          Native(game.game() / L"dxgi.dll") + "); Autopilot's ReShade stays"),
            log.end());
}

TEST(Dlss5Operation, ADataFolderThatIsAJunctionGetsNoLogButTheOperationRuns) {
  Dlss5Game game;
  Dlss5Recorder recorder;
  qv::setup::Dlss5RouteSettings settings = recorder.Settings();
  settings.view = qv::test::ViewWithReparsePoints({{game.game() / L"data", qv::setup::kReparseTagMountPoint}});
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, recorder, settings), 0);
  EXPECT_FALSE(fs::exists(game.game() / L"data" / L"qv-updater.log"));
  EXPECT_EQ(game.Result(), "kind install\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_TRUE(fs::exists(game.game() / L"qv-dlss5-route.json"));
}

TEST(Dlss5Operation, TheQueuesItemsRunTheSameOperationOnTheDefaultWorkFolder) {
  Dlss5Game game;
  qv::setup::route_queue_win::Args args;
  args.game_folder = game.game();
  args.dlss5_work_folder = game.work();
  args.operations = {{qv::setup::RouteKind::kDlss5, RouteAction::kInstall}};
  Dlss5Recorder recorder;
  qv::setup::RouteQueueServices services;
  services.dlss5 = qv::setup::Dlss5QueueOperation(recorder.Settings());
  EXPECT_EQ(qv::setup::RunRouteQueueItems(args, recorder.Progress(), services), std::vector<int>{0});
  EXPECT_EQ(game.Result(), "kind install\nexit 0\ndetail " + kLastLine + "\n");
  EXPECT_EQ(ReadTestFile(game.game() / L"dxgi.dll"), kPortReShadeBytes);

  // An item the queue could not run gets the route's own result file.
  services.dlss5.write_result(args, RouteAction::kReinstall, -1, "Q.V. was still running after 60 s");
  EXPECT_EQ(game.Result(), "kind reinstall\nexit -1\ndetail Q.V. was still running after 60 s\n");
}

}  // namespace
