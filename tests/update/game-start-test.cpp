#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "foundation/win/elevation.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "update/updater/game-start.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GameStart;
using qv::setup::StartGame;
using qv::test::PlaceStandInGame;
using qv::test::StandInGameRun;
using qv::test::TempFolder;
using qv::test::WaitForStandInGameRuns;

const std::vector<std::wstring> kArguments = {L"a", L"b c", L"", L"say \"hi\"", L"trailing\\", L"caf\u00e9 \u6e38\u620f",
                                              L"--pid"};

std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> utf8;
  for (const std::wstring& argument : kArguments) utf8.push_back(qv::setup::WideToUtf8(argument));
  return utf8;
}

std::string CurrentFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
  return qv::setup::WideToUtf8(buffer);
}

TEST(GameStart, StartsTheGameDirectlyInItsFolderWithExactlyItsArguments) {
  TempFolder temp;
  const fs::path game = temp / L"game folder";
  PlaceStandInGame(game);
  GameStart start = StartGame(game, kArguments, false);
  ASSERT_TRUE(start.started);
  ASSERT_TRUE(start.process.valid());
  EXPECT_EQ(::WaitForSingleObject(start.process.get(), 15000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(start.process.get(), &code);
  EXPECT_EQ(code, 0u);
  std::vector<StandInGameRun> runs = WaitForStandInGameRuns(game, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, Utf8Arguments());
  EXPECT_EQ(runs[0].folder, qv::setup::WideToUtf8(game.native()));
  EXPECT_EQ(runs[0].build.size(), 64u);
}

TEST(GameStart, NoArgumentsGiveNone) {
  TempFolder temp;
  PlaceStandInGame(temp.path());
  GameStart start = StartGame(temp.path(), {}, false);
  ASSERT_TRUE(start.started);
  std::vector<StandInGameRun> runs = WaitForStandInGameRuns(temp.path(), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].arguments.empty());
}

TEST(GameStart, AMissingGameIsNotStarted) {
  TempFolder temp;
  for (bool elevated : {false, true}) {
    GameStart start = StartGame(temp.path(), kArguments, elevated);
    EXPECT_FALSE(start.started) << elevated;
    EXPECT_FALSE(start.process.valid()) << elevated;
  }
}

TEST(GameStart, ALongGameFolderStartsInTheCallersFolder) {
  if (qv::setup::IsRunningUnderWine()) GTEST_SKIP() << "Wine 8 starts no program from a path beyond MAX_PATH";
  TempFolder temp;
  fs::path game = temp.path();
  while (game.native().size() < 258) game /= std::wstring(40, L'g');
  for (fs::path partial = temp.path(); partial != game;) {
    partial /= game.native().substr(partial.native().size() + 1, 40);
    ASSERT_TRUE(::CreateDirectoryW(qv::setup::ToLongPath(partial.native()).c_str(), nullptr)) << ::GetLastError();
  }
  ASSERT_GE(game.native().size(), 258u);
  ASSERT_TRUE(::CopyFileW(qv::test::StandInGamePath().c_str(),
                          qv::setup::ToLongPath((game / L"qv.exe").native()).c_str(), FALSE));
  GameStart start = StartGame(game, {L"x"}, false);
  ASSERT_TRUE(start.started);
  std::vector<StandInGameRun> runs = WaitForStandInGameRuns(game, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"x"});
  EXPECT_EQ(runs[0].folder, CurrentFolder());
  // The temporary folder goes with the game's exit: its own removal never
  // enters a link and reaches beyond MAX_PATH.
  ::WaitForSingleObject(start.process.get(), 15000);
}

TEST(GameStart, AnElevatedCallerStartsTheGameThroughTheDesktopShellWithoutAHandle) {
  TempFolder temp;
  const fs::path game = temp / L"game";
  PlaceStandInGame(game);
  GameStart start = StartGame(game, kArguments, true);
  EXPECT_TRUE(start.started);
  EXPECT_FALSE(start.process.valid());
  std::vector<StandInGameRun> runs = WaitForStandInGameRuns(game, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, Utf8Arguments());
  EXPECT_EQ(runs[0].folder, qv::setup::WideToUtf8(game.native()));
  // The shell's start is not ours to wait for: let it end before the folder goes.
  ::Sleep(500);
}

}  // namespace
