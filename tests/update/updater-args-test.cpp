#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "update/updater/updater-args-parser.h"

namespace {

using qv::setup::ParseUpdaterArgs;
using qv::setup::win_updater::Args;

std::optional<Args> Parse(const std::vector<std::wstring>& arguments) {
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : arguments) argv.push_back(argument.c_str());
  return ParseUpdaterArgs(static_cast<int>(argv.size()), argv.data());
}

std::wstring Normal(const std::wstring& folder) { return qv::setup::NormalAbsolutePath(folder).native(); }

TEST(UpdaterArgs, NotThisRole) {
  for (const std::vector<std::wstring>& line : std::vector<std::vector<std::wstring>>{
           {L"p"},
           {L"p", L"--game-update"},
           {L"p", L"--Game-Update", L"C:\\Games\\QV"},
           {L"p", L"--game-updates", L"C:\\Games\\QV"},
           {L"p", L"--route-queue", L"C:\\Games\\QV"},
           {L"p", L"--game-update", L""},
       }) {
    EXPECT_FALSE(Parse(line).has_value()) << line.size();
  }
}

TEST(UpdaterArgs, TheTable) {
  const std::wstring game = L"C:\\Games\\Q.V. DU Vora";
  const struct {
    std::vector<std::wstring> line;
    std::uint64_t pid;
    int language;
    bool elevated;
    std::vector<std::wstring> pass_through;
  } cases[] = {
      // A folder and nothing else: pid 0, language 0.
      {{L"p", L"--game-update", game}, 0, 0, false, {}},
      {{L"p", L"--game-update", game, L"--pid", L"4242", L"--lang", L"4"}, 4242, 4, false, {}},
      {{L"p", L"--game-update", game, L"--lang", L"99"}, 0, 13, false, {}},
      {{L"p", L"--game-update", game, L"--lang", L"-3"}, 0, 0, false, {}},
      {{L"p", L"--game-update", game, L"--lang", L"x"}, 0, 0, false, {}},
      // A later value wins; unknown arguments are skipped.
      {{L"p", L"--game-update", game, L"--pid", L"1", L"--what", L"--pid", L"2"}, 2, 0, false, {}},
      {{L"p", L"--game-update", game, L"--elevated"}, 0, 0, true, {}},
      // Options standing last have no value and are ignored.
      {{L"p", L"--game-update", game, L"--pid"}, 0, 0, false, {}},
      {{L"p", L"--game-update", game, L"--lang"}, 0, 0, false, {}},
      // A value is taken whatever it looks like.
      {{L"p", L"--game-update", game, L"--pid", L"--elevated"}, 0, 0, false, {}},
      // No Windows process has an id beyond 32 bits: none rather than another one.
      {{L"p", L"--game-update", game, L"--pid", L"4294967295"}, 4294967295u, 0, false, {}},
      {{L"p", L"--game-update", game, L"--pid", L"4294967296"}, 0, 0, false, {}},
      {{L"p", L"--game-update", game, L"--pid", L"99999999999999999999999"}, 0, 0, false, {}},
      {{L"p", L"--game-update", game, L"--pid", L"12abc"}, 12, 0, false, {}},
      // Everything after "--" goes to the game unchanged, options included.
      {{L"p", L"--game-update", game, L"--pid", L"7", L"--elevated", L"--", L"--pid", L"8", L"a b", L"", L"--"},
       7,
       0,
       true,
       {L"--pid", L"8", L"a b", L"", L"--"}},
      {{L"p", L"--game-update", game, L"--"}, 0, 0, false, {}},
  };
  for (const auto& c : cases) {
    std::optional<Args> args = Parse(c.line);
    ASSERT_TRUE(args.has_value()) << c.line.size();
    EXPECT_EQ(args->game_folder, game);
    EXPECT_EQ(args->game_process_id, c.pid) << c.line.back();
    EXPECT_EQ(args->language, c.language) << c.line.back();
    EXPECT_EQ(args->elevated, c.elevated) << c.line.back();
    EXPECT_EQ(args->pass_through, c.pass_through) << c.line.back();
  }
}

TEST(UpdaterArgs, TheFolderIsMadeAbsoluteAndNormal) {
  EXPECT_EQ(Parse({L"p", L"--game-update", L"C:\\Games\\.\\QV\\sub\\..\\"})->game_folder, L"C:\\Games\\QV");
  EXPECT_EQ(Parse({L"p", L"--game-update", L"C:/Games/QV"})->game_folder, Normal(L"C:/Games/QV"));
  EXPECT_EQ(Parse({L"p", L"--game-update", L"relative"})->game_folder, Normal(L"relative"));
  EXPECT_EQ(Parse({L"p", L"--game-update", L"relative"})->game_folder.substr(1, 2), L":\\");
}

}  // namespace
