// Route runs through the built program that never finish: the game does not
// close, and the run is killed while it waits. The game then starts on its
// own and reads the route's result file; what it finds must not be an
// earlier run's outcome.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dlss5-fixtures.h"
#include "foundation/text/text.h"
#include "route-fixtures.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/child-process.h"
#include "support/test-paths.h"
#include "update/updater/route-work-folders.h"

namespace {

namespace fs = std::filesystem;
using qv::test::Dlss5Game;
using qv::test::RunningGame;
using qv::test::StartedChild;

constexpr const char* kEarlierResult = "kind install\nexit 0\ndetail from an earlier run\n";

bool HoldsEarlierResult(const fs::path& file) { return qv::setup::ReadFileText(file) == kEarlierResult; }

// The command line of a run that waits for the game `pid`.
using RunArguments = std::vector<std::wstring> (*)(const fs::path& game, const std::wstring& pid);

std::vector<std::wstring> Dlss5Route(const fs::path& game, const std::wstring& pid) {
  return {L"--dlss5-route", L"install", game.native(), L"--work", (game / L"data\\dlss5-unlock").native(),
          L"--pid", pid};
}

std::vector<std::wstring> FgRoute(const fs::path& game, const std::wstring& pid) {
  return {L"--fg-route", L"install", game.native(), L"--work", (game / L"data\\dlssg-unlock").native(), L"--pid", pid};
}

std::vector<std::wstring> RouteQueue(const fs::path& game, const std::wstring& pid) {
  return {L"--route-queue", game.native(), L"--ops", L"fg:install,nr:install", L"--nr-work",
          (game / L"data\\dlss5-unlock").native(), L"--fg-work", (game / L"data\\dlssg-unlock").native(),
          L"--pid", pid};
}

TEST(RouteKilledProgram, ARunKilledWhileItWaitsForTheGameLeavesNoEarlierResult) {
  struct Case {
    const char* name;
    RunArguments arguments;
    std::vector<const wchar_t*> taken;  // result files of this run
    std::vector<const wchar_t*> kept;   // the other route's
  };
  const std::vector<Case> cases = {
      {"dlss5 route", Dlss5Route, {L"route-result.txt"}, {L"fg-route-result.txt"}},
      {"fg route", FgRoute, {L"fg-route-result.txt"}, {L"route-result.txt"}},
      {"route queue", RouteQueue, {L"route-result.txt", L"fg-route-result.txt"}, {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Dlss5Game game;
    const auto result_path = [&](const wchar_t* name) {
      return (std::wstring(name) == L"route-result.txt" ? game.work() : qv::setup::DefaultFgWorkFolder(game.game())) /
             name;
    };
    for (const wchar_t* name : {L"route-result.txt", L"fg-route-result.txt"}) {
      qv::test::WriteTestFile(result_path(name), kEarlierResult);
    }

    RunningGame running;
    const std::vector<std::wstring> arguments = test.arguments(game.game(), std::to_wstring(running.process_id()));
    StartedChild program = qv::test::StartProgram(qv::test::SetupProgramPath(), arguments);
    ASSERT_TRUE(program.started());

    // The run waits a minute for the game; it has this long to clear its results.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto all_gone = [&] {
      for (const wchar_t* name : test.taken) {
        if (HoldsEarlierResult(result_path(name))) return false;
      }
      return true;
    };
    while (!all_gone() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(program.WaitFor(std::chrono::milliseconds(0))) << "the run ended instead of waiting for the game";
    program.Terminate();

    for (const wchar_t* name : test.taken) {
      EXPECT_FALSE(fs::exists(result_path(name))) << qv::setup::WideToUtf8(name);
    }
    for (const wchar_t* name : test.kept) {
      EXPECT_TRUE(HoldsEarlierResult(result_path(name))) << qv::setup::WideToUtf8(name);
    }
    running.Close();
  }
}

}  // namespace
