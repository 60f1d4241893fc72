#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "route-fixtures.h"
#include "routes/route-queue-args.h"
#include "routes/route-queue-text.h"
#include "routes/single-route-args.h"
#include "update/updater/route-work-folders.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ParseDlss5RouteArgs;
using qv::setup::ParseFgRouteArgs;
using qv::setup::ParseRouteQueueArgs;
using qv::setup::RouteQueueText;
using qv::test::CommandLine;
using qv::test::RouteGameFolder;
using qv::test::UpdaterLogMessages;

// Windows refuses to make a path absolute when it is longer than any path can
// be; Wine accepts any length, so the refusal is presented here for one name.
constexpr std::wstring_view kRefusedName = L"refused-by-the-system";

std::wstring UnusablePath() { return L"C:\\" + std::wstring(kRefusedName) + L"\\" + std::wstring(40000, L'x'); }

fs::path AbsoluteOrRefused(const fs::path& folder) {
  if (folder.native().find(kRefusedName) != std::wstring::npos) {
    throw fs::filesystem_error("absolute", folder, std::make_error_code(std::errc::filename_too_long));
  }
  return qv::setup::NormalAbsolutePath(folder);
}

qv::setup::route_queue_win::Args ParseQueue(std::vector<std::wstring> arguments) {
  CommandLine line(std::move(arguments));
  return ParseRouteQueueArgs(line.argc(), line.argv(), qv::setup::SystemView(), &AbsoluteOrRefused);
}

qv::setup::SingleRouteArgs ParseDlss5(std::vector<std::wstring> arguments) {
  CommandLine line(std::move(arguments));
  return ParseDlss5RouteArgs(line.argc(), line.argv(), &AbsoluteOrRefused);
}

qv::setup::SingleRouteArgs ParseFg(std::vector<std::wstring> arguments) {
  CommandLine line(std::move(arguments));
  return ParseFgRouteArgs(line.argc(), line.argv(), &AbsoluteOrRefused);
}

std::string Utf8(const std::wstring& text) { return qv::setup::WideToUtf8(text); }

TEST(RouteArgs, FolderArgumentsAreAbsoluteAndNormalOrNothing) {
  RouteGameFolder game;
  const std::wstring text = game.path().native();
  EXPECT_EQ(qv::setup::FolderArgument(text + L"\\.\\sub\\..\\", &AbsoluteOrRefused)->native(), text);
  EXPECT_EQ(qv::setup::FolderArgument(text + L"/data/", &AbsoluteOrRefused)->native(), text + L"\\data");
  EXPECT_FALSE(qv::setup::FolderArgument(L"", &AbsoluteOrRefused));
  EXPECT_FALSE(qv::setup::FolderArgument(UnusablePath(), &AbsoluteOrRefused));
}

TEST(RouteArgs, QueueCommandLinesThatAreNotTheRole) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  const std::vector<std::vector<std::wstring>> lines = {
      {L"--route-queue", folder},  // ends with the game folder
      {L"--route-queue"},
      {L"--Route-queue", folder, L"--ops", L"fg:install"},
      {L"--route-queue ", folder, L"--ops", L"fg:install"},
      {L"-route-queue", folder, L"--ops", L"fg:install"},
      {L"--route-queue", L"", L"--ops", L"fg:install"},
      {L"--route-queue", UnusablePath(), L"--ops", L"fg:install"},
      {L"--route-queue", folder, L"--nr-work", UnusablePath()},
      {L"--route-queue", folder, L"--fg-work", UnusablePath(), L"--ops", L"fg:install"},
  };
  for (const auto& arguments : lines) {
    EXPECT_FALSE(ParseQueue(arguments).valid) << Utf8(arguments.front()) << " " << arguments.size();
  }
  EXPECT_TRUE(UpdaterLogMessages(game.path()).empty());
}

TEST(RouteArgs, QueueRecordHoldsTheDefaultsAndTheOptions) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  auto args = ParseQueue({L"--route-queue", folder + L"\\sub\\..\\.\\", L"--pid", L"4242", L"--lang", L"9", L"--fg-work",
                          folder + L"\\data\\dlssg-unlock", L"--ops", L"fg:remove", L"--", L"a", L"b c", L"--ops", L"",
                          L"--pid", L"--"});
  ASSERT_TRUE(args.valid);
  EXPECT_EQ(args.game_folder.native(), folder);
  EXPECT_EQ(args.dlss5_work_folder.native(), folder + L"\\data\\dlss5-unlock");
  EXPECT_EQ(args.fg_work_folder.native(), folder + L"\\data\\dlssg-unlock");
  EXPECT_EQ(args.game_process_id, 4242u);
  EXPECT_EQ(args.language, 9);
  EXPECT_EQ(RouteQueueText(args.operations), "fg:remove");
  EXPECT_EQ(args.relaunch_arguments,
            (std::vector<std::wstring>{L"a", L"b c", L"--ops", L"", L"--pid", L"--"}));
  EXPECT_TRUE(UpdaterLogMessages(game.path()).empty());

  auto bare = ParseQueue({L"--route-queue", folder, L"unknown"});
  ASSERT_TRUE(bare.valid);
  EXPECT_EQ(bare.game_process_id, 0u);
  EXPECT_EQ(bare.language, 0);
  EXPECT_TRUE(bare.operations.empty());
  EXPECT_TRUE(bare.relaunch_arguments.empty());
}

TEST(RouteArgs, ProcessIdAndLanguageValues) {
  RouteGameFolder game;
  struct Case {
    const wchar_t* option;
    const wchar_t* value;
    std::uint64_t pid;
    int language;
  };
  const Case cases[] = {
      {L"--pid", L"1234", 1234, 0},
      {L"--pid", L"12ab", 12, 0},
      {L"--pid", L"abc", 0, 0},
      {L"--pid", L"-5", 0, 0},
      {L"--pid", L"", 0, 0},
      {L"--pid", L"4294967295", 4294967295u, 0},
      {L"--pid", L"4294967296", 0, 0},  // beyond 32 bits: no process
      {L"--pid", L"99999999999999999999999999", 0, 0},
      {L"--lang", L"42", 0, 13},
      {L"--lang", L"13", 0, 13},
      {L"--lang", L"9", 0, 9},
      {L"--lang", L"1", 0, 1},
      {L"--lang", L"0", 0, 0},
      {L"--lang", L"-3", 0, 0},
      {L"--lang", L"word", 0, 0},
      {L"--lang", L"7x", 0, 7},
      {L"--lang", L"+5", 0, 5},
      {L"--lang", L"99999999999999999999999", 0, 13},
      {L"--lang", L"-99999999999999999999999", 0, 0},
  };
  for (const Case& c : cases) {
    auto args = ParseQueue({L"--route-queue", game.path().native(), c.option, c.value});
    ASSERT_TRUE(args.valid);
    EXPECT_EQ(args.game_process_id, c.pid) << Utf8(c.option) << " " << Utf8(c.value);
    EXPECT_EQ(args.language, c.language) << Utf8(c.option) << " " << Utf8(c.value);
    auto single = ParseDlss5({L"--dlss5-route", L"install", game.path().native(), L"--work",
                              (game / L"data" / L"dlss5-unlock").native(), c.option, c.value});
    ASSERT_TRUE(single.valid);
    EXPECT_EQ(single.game_process_id, c.pid) << Utf8(c.option) << " " << Utf8(c.value);
    EXPECT_EQ(single.language, c.language) << Utf8(c.option) << " " << Utf8(c.value);
  }
  // An option standing last has no value and is ignored.
  auto last = ParseQueue({L"--route-queue", game.path().native(), L"--lang", L"5", L"--lang"});
  ASSERT_TRUE(last.valid);
  EXPECT_EQ(last.language, 5);
}

struct WorkFolderCase {
  std::wstring given;  // relative to the game folder's text; "<none>" leaves the option out
  bool accepted;
};

// The DLSS 5 work folder as the queue and the single route take it.
std::vector<WorkFolderCase> Dlss5WorkFolderCases() {
  return {
      {L"\\data\\dlss5-unlock", true},
      {L"\\data\\.\\dlss5-unlock\\", true},
      {L"/data/dlss5-unlock/", true},
      {L"\\data\\x\\..\\dlss5-unlock", true},
      {L"\\Data\\dlss5-unlock", false},
      {L"\\data\\DLSS5-unlock", false},
      {L"\\data\\dlssg-unlock", false},
      {L"\\data\\dlss5-unlock\\sub", false},
      {L"\\data", false},
      {L"\\data\\dlss5-unlock.", true},  // the system drops trailing dots: the same folder
  };
}

TEST(RouteArgs, QueueItemsKeepOnlyTheirOwnWorkFolder) {
  for (const WorkFolderCase& c : Dlss5WorkFolderCases()) {
    RouteGameFolder game;
    const std::wstring folder = game.path().native();
    auto args = ParseQueue({L"--route-queue", folder, L"--ops", L"nr:install", L"--nr-work", folder + c.given});
    ASSERT_TRUE(args.valid) << Utf8(c.given);
    EXPECT_EQ(RouteQueueText(args.operations), c.accepted ? "nr:install" : "") << Utf8(c.given);
    EXPECT_EQ(UpdaterLogMessages(game.path()),
              c.accepted ? std::vector<std::string>{}
                         : std::vector<std::string>{"route queue: nr: the work folder is not the game's own, left out"})
        << Utf8(c.given);
  }
}

TEST(RouteArgs, QueueItemWithoutItsWorkFolderIsLeftOutAndLogged) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  // nr without "--nr-work"; fg with the other route's folder; an empty value.
  auto args = ParseQueue({L"--route-queue", folder, L"--ops", L"nr:install,fg:reinstall", L"--fg-work",
                          folder + L"\\data\\dlss5-unlock"});
  ASSERT_TRUE(args.valid);
  EXPECT_TRUE(args.operations.empty());
  auto empty = ParseQueue({L"--route-queue", folder, L"--ops", L"fg:remove", L"--fg-work", L""});
  ASSERT_TRUE(empty.valid);
  EXPECT_TRUE(empty.operations.empty());
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: nr: the work folder is not the game's own, left out",
                                      "route queue: fg: the work folder is not the game's own, left out",
                                      "route queue: fg: the work folder is not the game's own, left out"}));
}

TEST(RouteArgs, MalformedListIsLoggedAndKeepsTheItemsBefore) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  auto args = ParseQueue({L"--route-queue", folder, L"--ops", L"nr:remove", L"--ops", L"fg:install,nr:Remove,nr:remove",
                          L"--fg-work", folder + L"\\data\\dlssg-unlock", L"--nr-work",
                          folder + L"\\data\\dlss5-unlock"});
  ASSERT_TRUE(args.valid);
  EXPECT_EQ(RouteQueueText(args.operations), "fg:install");  // the last "--ops" wins
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{
                "route queue: the list of operations was not understood: fg:install,nr:Remove,nr:remove"}));

  // Characters beyond ASCII are narrowed to one byte each and make the item malformed.
  RouteGameFolder other;
  auto wide = ParseQueue({L"--route-queue", other.path().native(), L"--ops", L"fg:inst\x0141ll"});
  ASSERT_TRUE(wide.valid);
  EXPECT_TRUE(wide.operations.empty());
  EXPECT_EQ(UpdaterLogMessages(other.path()),
            (std::vector<std::string>{"route queue: the list of operations was not understood: fg:instAll"}));
}

TEST(RouteArgs, BothRoutesQueuedWithTheirFolders) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  auto args = ParseQueue({L"--route-queue", folder, L"--nr-work", folder + L"\\data\\dlss5-unlock\\", L"--fg-work",
                          folder + L"\\data\\dlssg-unlock", L"--ops", L"nr:reinstall,fg:remove"});
  ASSERT_TRUE(args.valid);
  EXPECT_EQ(RouteQueueText(args.operations), "nr:reinstall,fg:remove");
  EXPECT_TRUE(UpdaterLogMessages(game.path()).empty());
}

TEST(RouteArgs, SingleRouteCommandLinesThatAreNotTheRole) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  const std::wstring nr_work = folder + L"\\data\\dlss5-unlock";
  const std::vector<std::vector<std::wstring>> lines = {
      {L"--dlss5-route", L"install", folder},  // fewer than 4 arguments
      {L"--dlss5-route", L"install", folder, L"--lang", L"1"},  // no "--work"
      {L"--dlss5-route", L"install", folder, L"--work"},        // "--work" without its value
      {L"--dlss5-route", L"install", folder, L"--work", L""},
      {L"--dlss5-route", L"install", folder, L"--work", UnusablePath()},
      {L"--dlss5-route", L"Install", folder, L"--work", nr_work},
      {L"--dlss5-route", L"uninstall", folder, L"--work", nr_work},
      {L"--DLSS5-route", L"install", folder, L"--work", nr_work},
      {L"--fg-route", L"install", folder, L"--work", nr_work},
      {L"--dlss5-route", L"install", L"", L"--work", nr_work},
      {L"--dlss5-route", L"install", UnusablePath(), L"--work", nr_work},
      {L"--dlss5-route", L"install", folder, L"--", L"--work", nr_work},
  };
  for (const auto& arguments : lines) {
    EXPECT_FALSE(ParseDlss5(arguments).valid) << Utf8(arguments[0]) << " " << Utf8(arguments[1]) << " "
                                              << arguments.size();
  }
  const std::wstring fg_work = folder + L"\\data\\dlssg-unlock";
  EXPECT_TRUE(ParseFg({L"--fg-route", L"install", folder, L"--work", fg_work}).valid);
  EXPECT_FALSE(ParseFg({L"--fg-route", L"Install", folder, L"--work", fg_work}).valid);
  EXPECT_FALSE(ParseFg({L"--dlss5-route", L"install", folder, L"--work", fg_work}).valid);
}

TEST(RouteArgs, SingleRouteRecords) {
  RouteGameFolder game;
  const std::wstring folder = game.path().native();
  struct Case {
    const wchar_t* action;
    bool remove;
    bool reinstall;
  };
  for (const Case& c : {Case{L"install", false, false}, Case{L"remove", true, false}, Case{L"reinstall", false, true}}) {
    auto args = ParseFg({L"--fg-route", c.action, folder + L"\\", L"--lang", L"9", L"--work",
                         folder + L"\\data\\.\\dlssg-unlock\\", L"--pid", L"77", L"--", L"-x", L"--work", L""});
    ASSERT_TRUE(args.valid) << Utf8(c.action);
    EXPECT_EQ(args.remove, c.remove);
    EXPECT_EQ(args.reinstall, c.reinstall);
    EXPECT_EQ(args.game_folder.native(), folder);
    EXPECT_EQ(args.work_folder.native(), folder + L"\\data\\dlssg-unlock");
    EXPECT_EQ(args.game_process_id, 77u);
    EXPECT_EQ(args.language, 9);
    EXPECT_EQ(args.relaunch_arguments, (std::vector<std::wstring>{L"-x", L"--work", L""}));
  }
  // The last "--work" counts.
  EXPECT_TRUE(ParseDlss5({L"--dlss5-route", L"remove", folder, L"--work", folder + L"\\data", L"--work",
                          folder + L"\\data\\dlss5-unlock"})
                  .valid);
  EXPECT_FALSE(ParseDlss5({L"--dlss5-route", L"remove", folder, L"--work", folder + L"\\data\\dlss5-unlock",
                           L"--work", folder + L"\\data"})
                   .valid);
}

TEST(RouteArgs, SingleRouteWorkFolderRule) {
  for (const WorkFolderCase& c : Dlss5WorkFolderCases()) {
    RouteGameFolder game;
    const std::wstring folder = game.path().native();
    auto args = ParseDlss5({L"--dlss5-route", L"install", folder, L"--work", folder + c.given});
    EXPECT_EQ(args.valid, c.accepted) << Utf8(c.given);
    if (c.accepted) {
      EXPECT_EQ(args.work_folder.native(), folder + L"\\data\\dlss5-unlock");
    }
  }
}

}  // namespace
