// The route window in this process: real windows (the tests run on a virtual
// display), driven by stand-in workers that look at the window from their own
// thread as the real workers would post to it.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text/text.h"
#include "route-fixtures.h"
#include "routes/route-queue-role.h"
#include "routes/route-queue-text.h"
#include "routes/route-window-run.h"
#include "support/stand-in-game.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GameStart;
using qv::setup::RouteWindowHooks;
using qv::setup::RouteWindowLook;
using qv::setup::UpdaterText;
using qv::setup::UpdaterTextFor;
using qv::test::RouteGameFolder;
using qv::test::UpdaterLogMessages;
namespace route_queue_win = qv::setup::route_queue_win;
namespace win_route = qv::setup::win_route;

std::wstring Text(int language, UpdaterText key) { return qv::setup::Utf8ToWide(UpdaterTextFor(language, key)); }

std::wstring WindowText(HWND window) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(window, buffer, 512);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[128] = {};
  ::GetClassNameW(window, buffer, 128);
  return buffer;
}

// Waits until the control shows the text (a posted message is handled when
// the window's thread gets to it).
bool ShowsText(HWND control, const std::wstring& text) {
  for (int i = 0; i < 250; ++i) {
    if (WindowText(control) == text) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// What the window looked like when the game was started again.
struct Restart {
  int calls = 0;
  std::wstring status;
  fs::path folder;
  std::vector<std::wstring> arguments;
};

RouteWindowHooks RecordingHooks(Restart& restart, bool starts = true) {
  RouteWindowHooks hooks;
  hooks.start_game = [&restart, starts](const fs::path& folder, const std::vector<std::wstring>& arguments) {
    ++restart.calls;
    win_route::State* state = win_route::CurrentState();
    restart.status = state && state->status ? WindowText(state->status) : L"(no status line)";
    restart.folder = folder;
    restart.arguments = arguments;
    GameStart start;
    start.started = starts;
    return start;
  };
  return hooks;
}

// Runs the route window with `inspect` as its worker (the window's state is
// fresh and current); the worker's end posts the finish message.
int RunInspectedWindow(const RouteWindowLook& look, int language, const std::function<void(win_route::State&)>& inspect,
                       Restart& restart) {
  static win_route::State state;
  state = win_route::State{};
  state.language = language;
  win_route::SetCurrentState(&state);
  return qv::setup::RunRouteWindow(
      state, look,
      [&inspect] {
        inspect(*win_route::CurrentState());
        qv::setup::PostRouteFinished();
      },
      RecordingHooks(restart));
}

route_queue_win::Args QueueArgs(const RouteGameFolder& game, const std::string& operations, int language) {
  route_queue_win::Args args;
  args.game_folder = game.path();
  args.language = language;
  args.relaunch_arguments = {L"a", L"b c"};
  EXPECT_TRUE(qv::setup::ParseRouteQueue(operations, args.operations));
  args.valid = true;
  return args;
}

TEST(RouteWindow, TitlesFirstTextsSizesAndLayoutDirection) {
  RouteGameFolder game;
  const std::wstring both = L"Q.V. DU Vora: DLSS 5 / DLSS Frame Generation";
  struct Case {
    std::string name;
    RouteWindowLook look;
    std::wstring title;
    UpdaterText first;
    int client_height;
    bool right_to_left;
  };
  std::vector<Case> cases;
  for (int language : {0, 9, 4}) {
    const bool arabic = language == 9;
    const std::wstring nr_title = Text(language, UpdaterText::kDlss5Title);
    const std::wstring fg_title = Text(language, UpdaterText::kFrameGenerationTitle);
    const std::string tag = " language " + std::to_string(language);
    for (const char* queue : {"", "nr:install"}) {
      cases.push_back({std::string("queue '") + queue + "'" + tag,
                       qv::setup::QueueWindowSpec(QueueArgs(game, queue, language)), nr_title,
                       UpdaterText::kWaitingForGame, 85, arabic});
    }
    cases.push_back({"queue fg" + tag, qv::setup::QueueWindowSpec(QueueArgs(game, "fg:remove", language)), fg_title,
                     UpdaterText::kWaitingForGame, 85, arabic});
    cases.push_back({"queue both" + tag, qv::setup::QueueWindowSpec(QueueArgs(game, "fg:remove,nr:install", language)),
                     both, UpdaterText::kWaitingForGame, 85, arabic});
    qv::setup::SingleRouteArgs single;
    single.language = language;
    cases.push_back({"dlss5" + tag, qv::setup::Dlss5WindowSpec(single), nr_title, UpdaterText::kWaitingForGame, 85,
                     arabic});
    cases.push_back({"fg install" + tag, qv::setup::FgWindowSpec(single), fg_title,
                     UpdaterText::kInstallingFrameGeneration, 110, false});
    single.remove = true;
    cases.push_back({"fg remove" + tag, qv::setup::FgWindowSpec(single), fg_title,
                     UpdaterText::kRemovingFrameGeneration, 110, false});
    single.remove = false;
    single.reinstall = true;
    cases.push_back({"fg reinstall" + tag, qv::setup::FgWindowSpec(single), fg_title,
                     UpdaterText::kReinstallingFrameGeneration, 110, false});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.look.title, c.title);
    EXPECT_EQ(c.look.first_status, c.first);
    EXPECT_EQ(c.look.client_height, c.client_height);
    EXPECT_EQ(c.look.right_to_left, c.right_to_left);
  }

  // The real windows of a few of them.
  for (size_t i : {size_t{3}, size_t{6}, size_t{10}, size_t{13}}) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const int language = i < 8 ? 0 : 9;
    Restart restart;
    const double scale = ::GetDpiForSystem() / 96.0;
    const auto layout = qv::setup::ComputeRouteWindowLayout(c.client_height, scale);
    EXPECT_EQ(RunInspectedWindow(c.look, language, [&](win_route::State& state) {
      ASSERT_TRUE(::IsWindow(state.window));
      EXPECT_EQ(ClassOf(state.window), L"QVRoute");
      EXPECT_EQ(WindowText(state.window), c.title);
      const LONG style = ::GetWindowLongW(state.window, GWL_STYLE);
      EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
                WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
      EXPECT_EQ((::GetWindowLongW(state.window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, c.right_to_left);
      RECT client{};
      ::GetClientRect(state.window, &client);
      EXPECT_EQ(client.right, layout.client.cx);
      EXPECT_EQ(client.bottom, layout.client.cy);
      EXPECT_EQ(ClassOf(state.status), L"Static");
      EXPECT_EQ(WindowText(state.status), Text(language, c.first));
      EXPECT_EQ(ClassOf(state.progress), L"msctls_progress32");
      EXPECT_NE(::GetWindowLongW(state.progress, GWL_STYLE) & PBS_MARQUEE, 0);
      for (HWND child : {state.status, state.progress}) {
        EXPECT_EQ(::GetParent(child), state.window);
        EXPECT_TRUE(::IsWindowVisible(child));
        EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)), state.font.get());
      }
      for (auto [child, expected] : {std::pair{state.status, layout.status}, std::pair{state.progress, layout.progress}}) {
        RECT rect{};
        ::GetWindowRect(child, &rect);
        EXPECT_EQ(rect.right - rect.left, expected.right - expected.left);
        EXPECT_EQ(rect.bottom - rect.top, expected.bottom - expected.top);
        ::MapWindowPoints(nullptr, state.window, reinterpret_cast<POINT*>(&rect), 2);
        // Mirrored windows map to the same logical rectangle, whichever edge is left.
        EXPECT_EQ(std::min(rect.left, rect.right), expected.left);
        EXPECT_EQ(rect.top, expected.top);
      }
    }, restart), 0);
    EXPECT_EQ(restart.calls, 1);
  }
}

TEST(RouteWindow, LayoutScalesEveryRectangle) {
  struct Case {
    int client_height;
    double scale;
    SIZE client;
    RECT status;
    RECT progress;
  };
  const Case cases[] = {
      {85, 1.0, {500, 105}, {20, 14, 480, 58}, {20, 70, 480, 85}},
      {110, 1.0, {500, 130}, {20, 14, 480, 58}, {20, 70, 480, 85}},
      {85, 1.5, {750, 157}, {30, 21, 720, 87}, {30, 105, 720, 127}},
      {110, 1.25, {625, 162}, {25, 17, 600, 72}, {25, 87, 600, 105}},
  };
  for (const Case& c : cases) {
    const auto layout = qv::setup::ComputeRouteWindowLayout(c.client_height, c.scale);
    SCOPED_TRACE(std::to_string(c.client_height) + " at " + std::to_string(c.scale));
    EXPECT_EQ(layout.client.cx, c.client.cx);
    EXPECT_EQ(layout.client.cy, c.client.cy);
    for (auto [actual, expected] : {std::pair{layout.status, c.status}, std::pair{layout.progress, c.progress}}) {
      EXPECT_EQ(actual.left, expected.left);
      EXPECT_EQ(actual.top, expected.top);
      EXPECT_EQ(actual.right, expected.right);
      EXPECT_EQ(actual.bottom, expected.bottom);
    }
    // The bar sits below the status line, inside the client area.
    EXPECT_GT(layout.progress.top, layout.status.bottom);
    EXPECT_LT(layout.progress.bottom, layout.client.cy);
  }
}

TEST(RouteWindow, EveryRouteTextFitsTheStatusLineInEveryLanguage) {
  const UpdaterText keys[] = {UpdaterText::kWaitingForGame,
                              UpdaterText::kStartingGame,
                              UpdaterText::kInstallingDlss5,
                              UpdaterText::kRemovingDlss5,
                              UpdaterText::kInstallingFrameGeneration,
                              UpdaterText::kRemovingFrameGeneration,
                              UpdaterText::kReinstallingFrameGeneration,
                              UpdaterText::kReinstallingDlss5,
                              UpdaterText::kCheckingInstalledFiles,
                              UpdaterText::kDlss5Failed,
                              UpdaterText::kFrameGenerationFailed,
                              UpdaterText::kRouteGameStillRunning,
                              UpdaterText::kRouteLeftToAnotherRun};
  Restart restart;
  RunInspectedWindow(qv::setup::QueueWindowSpec(route_queue_win::Args{}), 0, [&](win_route::State& state) {
    RECT status{};
    ::GetClientRect(state.status, &status);
    HDC dc = ::GetDC(state.status);
    HGDIOBJ old = ::SelectObject(dc, state.font.get());
    // One line is not enough for the English failure notice already.
    RECT line{0, 0, 100000, 1000};
    const std::wstring notice = Text(0, UpdaterText::kFrameGenerationFailed);
    ::DrawTextW(dc, notice.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(line.right, status.right);
    for (int language = 0; language < qv::setup::kUpdaterLanguageCount; ++language) {
      for (UpdaterText key : keys) {
        const std::wstring text = Text(language, key);
        RECT needed{0, 0, status.right, 0};
        ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        EXPECT_LE(needed.bottom, status.bottom)
            << "language " << language << " key " << static_cast<int>(key) << ": " << qv::setup::WideToUtf8(text);
        EXPECT_LE(needed.right, status.right) << "language " << language << " key " << static_cast<int>(key);
      }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(state.status, dc);
  }, restart);
}

TEST(RouteWindow, StatusMessagesShowTheirTextAndTheUserCannotClose) {
  Restart restart;
  RunInspectedWindow(qv::setup::QueueWindowSpec(route_queue_win::Args{}), 1, [&](win_route::State& state) {
    qv::setup::PostRouteText(UpdaterText::kInstallingDlss5);
    EXPECT_TRUE(ShowsText(state.status, Text(1, UpdaterText::kInstallingDlss5)));
    qv::setup::PostRouteText(UpdaterText::kDlss5Failed);
    EXPECT_TRUE(ShowsText(state.status, Text(1, UpdaterText::kDlss5Failed)));
    // Close button, system menu and Alt+F4 all arrive as WM_CLOSE.
    ::SendMessageW(state.window, WM_CLOSE, 0, 0);
    ::SendMessageW(state.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(::IsWindow(state.window));
    EXPECT_TRUE(::IsWindowVisible(state.window));
  }, restart);
}

TEST(RouteWindow, TheFinishStartsTheGameShowingItsTextThenTheWindowGoes) {
  RouteGameFolder game;
  for (bool starts : {true, false}) {
    Restart restart;
    HWND window = nullptr;
    route_queue_win::Args args = QueueArgs(game, "", 0);
    qv::setup::RouteQueueServices services;
    EXPECT_EQ(route_queue_win::RunQueue(args, services,
                                        [&] {
                                          RouteWindowHooks hooks = RecordingHooks(restart, starts);
                                          auto create = [&window](DWORD ex_style, const std::wstring& title,
                                                                  DWORD style, int width, int height) {
                                            window = ::CreateWindowExW(ex_style, qv::setup::kRouteWindowClass,
                                                                       title.c_str(), style, CW_USEDEFAULT,
                                                                       CW_USEDEFAULT, width, height, nullptr, nullptr,
                                                                       ::GetModuleHandleW(nullptr), nullptr);
                                            return window;
                                          };
                                          hooks.create_window = create;
                                          return hooks;
                                        }()),
              0);
    EXPECT_EQ(restart.calls, 1);
    EXPECT_EQ(restart.status, Text(0, UpdaterText::kStartingGame));
    EXPECT_EQ(restart.folder, game.path());
    EXPECT_EQ(restart.arguments, (std::vector<std::wstring>{L"a", L"b c"}));
    EXPECT_FALSE(::IsWindow(window));
    const std::string outcome = starts ? "route queue: Q.V. started again" : "route queue: Q.V. could not be started again";
    EXPECT_EQ(UpdaterLogMessages(game.path()).back(), outcome);
    std::filesystem::remove(game / L"data" / L"qv-updater.log");
  }
}

TEST(RouteWindow, WithoutAWindowTheQueueStillRunsAndTheGameStartsAgain) {
  RouteGameFolder game;
  qv::test::PlaceStandInGame(game.path());
  route_queue_win::Args args = QueueArgs(game, "nr:install", 0);
  std::vector<std::string> ran;
  qv::setup::RouteQueueServices services;
  services.dlss5.run = [&ran](const route_queue_win::Args&, qv::setup::RouteAction action,
                              const qv::setup::RouteProgress& progress) {
    progress(UpdaterText::kInstallingDlss5);  // reaches no window, harmlessly
    ran.push_back(std::string(qv::setup::RouteActionWord(action)));
    return 0;
  };
  RouteWindowHooks hooks;
  hooks.create_window = [](DWORD, const std::wstring&, DWORD, int, int) -> HWND { return nullptr; };
  EXPECT_EQ(route_queue_win::RunQueue(args, services, hooks), 0);
  EXPECT_EQ(ran, std::vector<std::string>{"install"});
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start nr:install", "route queue: nr:install finished",
                                      "route queue: Q.V. started again"}));
  // The real start: the stand-in game got exactly the relaunch arguments.
  const auto runs = qv::test::WaitForStandInGameRuns(game.path(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(runs[0].folder, qv::setup::WideToUtf8(game.path().native()));
}

}  // namespace
