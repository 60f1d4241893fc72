#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "update/updater/elevated-relaunch.h"
#include "update/updater/updater-args-parser.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RelaunchElevated;
using qv::setup::RelaunchParameters;
using qv::setup::win_updater::Args;

Args GameArgs(const std::wstring& folder, std::vector<std::wstring> pass_through) {
  Args args;
  args.game_folder = folder;
  args.game_process_id = 4711;
  args.language = 9;
  args.pass_through = std::move(pass_through);
  return args;
}

TEST(ElevatedRelaunch, Parameters) {
  // No "--pid": the game has closed before the hand-over.
  EXPECT_EQ(RelaunchParameters(GameArgs(L"C:\\Games\\QV", {})), L"--game-update C:\\Games\\QV --lang 9 --elevated --");
  EXPECT_EQ(RelaunchParameters(GameArgs(L"C:\\My Games\\Q.V. DU Vora", {L"-windowed", L"two words", L"", L"--pid"})),
            L"--game-update \"C:\\My Games\\Q.V. DU Vora\" --lang 9 --elevated -- -windowed \"two words\" \"\" --pid");
  // A folder ending in a backslash keeps it inside the quotes' meaning.
  EXPECT_EQ(RelaunchParameters(GameArgs(L"C:\\a b\\", {L"say \"hi\""})),
            L"--game-update \"C:\\a b\\\\\" --lang 9 --elevated -- \"say \\\"hi\\\"\"");
}

// The elevated copy reads its parameters as the first copy's arguments, but
// with no game to wait for: the first copy's wait is over, and the id it
// waited on may belong to an unrelated process by the time the user has
// answered the consent prompt.
TEST(ElevatedRelaunch, TheElevatedCopyHasNoGameToWaitFor) {
  const Args first = GameArgs(L"C:\\My Games\\Q.V. DU Vora", {L"-windowed", L"--pid", L"7"});
  const std::wstring line = L"Q.V.PC.Rure.Setup.exe " + RelaunchParameters(first);
  int argc = 0;
  const qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(line.c_str(), &argc));
  ASSERT_TRUE(argv);
  const std::optional<Args> copy = qv::setup::ParseUpdaterArgs(argc, argv.get());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->game_process_id, 0u);
  EXPECT_TRUE(copy->elevated);
  EXPECT_EQ(copy->game_folder, first.game_folder);
  EXPECT_EQ(copy->language, first.language);
  EXPECT_EQ(copy->pass_through, first.pass_through);
}

// The shell's "runas" start of a program (the stand-in here, silently under
// Wine): it reads back exactly what the elevated copy must be given, and runs
// in the game folder.
TEST(ElevatedRelaunch, TheElevatedCopyGetsExactlyItsParameters) {
  qv::test::TempFolder temp;
  const fs::path game = temp / L"My Games" / L"Q.V. DU Vora";
  fs::create_directories(game);
  const fs::path copy_folder = temp / L"program";
  qv::test::PlaceStandInGame(copy_folder);
  const std::vector<std::wstring> pass_through = {L"-windowed", L"two words", L"", L"caf\u00e9", L"--pid"};
  int error = -1;
  ASSERT_TRUE(RelaunchElevated(GameArgs(game.native(), pass_through), &error, copy_folder / L"qv.exe"));
  EXPECT_EQ(error, -1);  // untouched on success
  std::vector<qv::test::StandInGameRun> runs = qv::test::WaitForStandInGameRuns(copy_folder, 1);
  ASSERT_EQ(runs.size(), 1u);
  std::vector<std::string> expected = {"--game-update", qv::setup::WideToUtf8(game.native()), "--lang", "9",
                                       "--elevated", "--"};
  for (const std::wstring& argument : pass_through) expected.push_back(qv::setup::WideToUtf8(argument));
  EXPECT_EQ(runs[0].arguments, expected);
  EXPECT_EQ(runs[0].folder, qv::setup::WideToUtf8(game.native()));
  qv::test::EndStandInGame(runs[0]);
}

}  // namespace
