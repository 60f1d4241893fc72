// The "--dlss5-route" role in this process: its window, its worker and what
// happens when a failure escapes the operation.

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "dlss5-fixtures.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-role.h"
#include "routes/dlss5/dlss5-route-state.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GameStart;
using qv::setup::RouteWindowHooks;
using qv::setup::UpdaterText;
using qv::test::Dlss5Game;
using qv::test::Dlss5LogMessages;
namespace win_route = qv::setup::win_route;

qv::setup::Dlss5RouteArgs InstallArgs(const Dlss5Game& game) {
  qv::setup::Dlss5RouteArgs args;
  args.game_folder = game.game();
  args.work_folder = game.work();
  args.relaunch_arguments = {L"-x"};
  args.valid = true;
  return args;
}

struct Restarts {
  std::vector<std::vector<std::wstring>> arguments;
  RouteWindowHooks Hooks() {
    RouteWindowHooks hooks;
    hooks.start_game = [this](const fs::path&, const std::vector<std::wstring>& given) {
      arguments.push_back(given);
      GameStart start;
      start.started = true;
      return start;
    };
    return hooks;
  }
};

TEST(Dlss5RouteRole, AFailureThatEscapesTheWorkStillWritesTheResultAndFinishes) {
  Dlss5Game game;
  qv::test::Dlss5Recorder recorder;
  qv::setup::Dlss5RouteSettings settings = recorder.Settings();
  settings.copy_file = [](const fs::path&, const fs::path&) -> bool {
    throw std::runtime_error("The disk went away.");
  };
  Restarts restarts;
  EXPECT_EQ(qv::setup::RunDlss5Route(InstallArgs(game), settings, restarts.Hooks()), 0);

  EXPECT_EQ(game.Result(), "kind install\nexit -1\ndetail The disk went away.\n");
  const std::vector<std::string> log = Dlss5LogMessages(game.game());
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "stopped: The disk went away.");
  EXPECT_EQ(log.back(), "Q.V. started again");
  EXPECT_EQ(restarts.arguments, (std::vector<std::vector<std::wstring>>{{L"-x"}}));
}

TEST(Dlss5RouteRole, AnErrorOfAnUnknownKindIsRecordedToo) {
  Dlss5Game game;
  win_route::State state = game.State(qv::setup::RouteAction::kRemove);
  qv::setup::Dlss5RouteThread(state, [](win_route::State&) { throw 42; });
  EXPECT_EQ(game.Result(), "kind remove\nexit -1\ndetail the operation ended with an error of an unknown kind\n");
  EXPECT_EQ(Dlss5LogMessages(game.game()),
            std::vector<std::string>{"stopped: the operation ended with an error of an unknown kind"});
}

TEST(Dlss5RouteRole, TheWindowShowsTheOperationsKeysWhileTheToolRuns) {
  Dlss5Game game;
  game.Control("sleep 3000\n");
  Restarts restarts;
  std::wstring shown;
  qv::setup::Dlss5RouteArgs args = InstallArgs(game);
  RouteWindowHooks hooks = restarts.Hooks();
  std::thread watcher;
  // Looks at the status line from outside while the stand-in sleeps.
  hooks.create_window = [&](DWORD ex_style, const std::wstring& title, DWORD style, int width, int height) {
    HWND window = ::CreateWindowExW(ex_style, qv::setup::kRouteWindowClass, title.c_str(), style, CW_USEDEFAULT,
                                    CW_USEDEFAULT, width, height, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                    nullptr);
    watcher = std::thread([&shown] {
      const std::wstring installing =
          qv::setup::Utf8ToWide(qv::setup::UpdaterTextFor(0, UpdaterText::kInstallingDlss5));
      for (int i = 0; i < 250 && shown != installing; ++i) {
        ::Sleep(20);
        win_route::State* state = win_route::CurrentState();
        wchar_t text[256] = {};
        if (state && state->status) ::GetWindowTextW(state->status, text, 256);
        shown = text;
      }
    });
    return window;
  };
  EXPECT_EQ(qv::setup::RunDlss5Route(args, {}, hooks), 0);
  watcher.join();
  EXPECT_EQ(shown, qv::setup::Utf8ToWide(qv::setup::UpdaterTextFor(0, UpdaterText::kInstallingDlss5)));
  EXPECT_EQ(game.Result().substr(0, 20), "kind install\nexit 0\n");
  EXPECT_EQ(restarts.arguments.size(), 1u);
}

}  // namespace
