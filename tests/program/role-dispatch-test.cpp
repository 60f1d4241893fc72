#include "program/role-dispatch.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "program/role-table.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::CommandLineArgs;
using qv::setup::DispatchRoles;
using qv::setup::FailureHandling;
using qv::setup::RoleRow;
using qv::setup::RoleRun;

// A row taking lines whose first option is `word`, recording each parse and run.
RoleRow RecordingRow(const std::string& name, const std::wstring& word, std::vector<std::string>& log, int exit_code,
                     FailureHandling failures = FailureHandling::kRoleOwn) {
  return RoleRow{name,
                 [name, word, &log, exit_code](const CommandLineArgs& args) -> RoleRun {
                   log.push_back("parse " + name);
                   if (args.size() < 2 || args[1] != word) return {};
                   return [name, &log, exit_code] {
                     log.push_back("run " + name);
                     return exit_code;
                   };
                 },
                 failures};
}

// A row taking lines whose first option is `word` and failing with `raise`.
template <typename Raise>
RoleRow FailingRow(const std::wstring& word, FailureHandling failures, Raise raise) {
  return RoleRow{"failing",
                 [word, raise](const CommandLineArgs& args) -> RoleRun {
                   if (args.size() < 2 || args[1] != word) return {};
                   return [raise]() -> int {
                     raise();
                     return 0;
                   };
                 },
                 failures};
}

TEST(RoleDispatch, FirstRowThatTakesTheLineRunsAndNoLaterParserIsAsked) {
  std::vector<std::string> log;
  const std::vector<RoleRow> table = {
      RecordingRow("a", L"--a", log, 10),
      RecordingRow("b", L"--b", log, 11),
      RecordingRow("b-again", L"--b", log, 12),
  };
  EXPECT_EQ(DispatchRoles(table, {L"program.exe", L"--b"}), 11);
  EXPECT_EQ(log, (std::vector<std::string>{"parse a", "parse b", "run b"}));

  log.clear();
  EXPECT_EQ(DispatchRoles(table, {L"program.exe", L"--c"}), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"parse a", "parse b", "parse b-again"}));

  EXPECT_EQ(DispatchRoles({}, {L"program.exe"}), 2);
}

TEST(RoleDispatch, TestModeRowsTakeTheirWordWithTheirExactCount) {
  std::vector<std::string> runs;
  bool enabled = false;
  const std::vector<RoleRow> table = {
      qv::setup::TestModeRow(L"--mode", 3,
                             [&](const CommandLineArgs& args) {
                               runs.push_back(fs::path(args[2]).string());
                               return 7;
                             }),
      qv::setup::TestModeRow(L"--hooked", 3, [](const CommandLineArgs&) { return 8; }, [&] { return enabled; }),
  };
  EXPECT_EQ(table[0].name, "mode");
  EXPECT_EQ(table[0].failures, FailureHandling::kResultFile);

  const struct {
    CommandLineArgs args;
    int exit_code;
  } cases[] = {
      {{L"p", L"--mode", L"r.txt"}, 7},
      {{L"p", L"--mode"}, 2},
      {{L"p", L"--mode", L"r.txt", L"x"}, 2},
      {{L"p", L"--Mode", L"r.txt"}, 2},
      {{L"p", L"--mode ", L"r.txt"}, 2},
      {{L"p", L"x", L"--mode"}, 2},
      {{L"p"}, 2},
      {{}, 2},
      {{L"p", L"--hooked", L"r.txt"}, 2},  // not enabled
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DispatchRoles(table, c.args), c.exit_code) << c.args.size();
  }
  EXPECT_EQ(runs, std::vector<std::string>{"r.txt"});
  enabled = true;
  EXPECT_EQ(DispatchRoles(table, {L"p", L"--hooked", L"r.txt"}), 8);
}

// The shared handler: a test mode's failure text goes into its result file
// (text mode, no line end added) through the guard; other roles write nothing.
TEST(RoleDispatch, FailuresOfTestModesGoToTheResultFileOnly) {
  qv::test::TempFolder temp{L"qv-dispatch"};
  const fs::path result = temp / L"result.txt";
  const fs::path folder = temp / L"folder";
  fs::create_directory(folder);
  const fs::path large = temp / L"large.txt";
  qv::test::WriteTestFile(large, std::string(65537, 'x'));

  auto raise_text = [] { throw std::runtime_error("first line\nsecond line"); };
  auto raise_int = [] { throw 42; };
  const std::vector<RoleRow> table = {
      FailingRow(L"--test-mode", FailureHandling::kResultFile, raise_text),
      FailingRow(L"--odd-failure", FailureHandling::kResultFile, raise_int),
      FailingRow(L"--uninstall", FailureHandling::kExitOne, raise_text),
      FailingRow(L"--window", FailureHandling::kRoleOwn, raise_text),
      FailingRow(L"--window-odd", FailureHandling::kRoleOwn, raise_int),
  };

  EXPECT_EQ(DispatchRoles(table, {L"p", L"--test-mode", result.native()}), 1);
  EXPECT_EQ(qv::test::ReadTestFile(result), "first line\r\nsecond line");

  EXPECT_EQ(DispatchRoles(table, {L"p", L"--odd-failure", result.native()}), 1);
  EXPECT_EQ(qv::test::ReadTestFile(result), qv::setup::kUnknownFailureText);

  // Refused by the guard: nothing written, exit code 1 all the same.
  EXPECT_EQ(DispatchRoles(table, {L"p", L"--test-mode", folder.native()}), 1);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(DispatchRoles(table, {L"p", L"--test-mode", large.native()}), 1);
  EXPECT_EQ(qv::test::ReadTestFile(large), std::string(65537, 'x'));

  // Uninstall and the roles that report their own failures name no result
  // file: their last argument is never written.
  fs::remove(result);
  for (const wchar_t* word : {L"--uninstall", L"--window", L"--window-odd"}) {
    EXPECT_EQ(DispatchRoles(table, {L"p", word, result.native()}), 1) << fs::path(word).string();
    EXPECT_FALSE(fs::exists(result)) << fs::path(word).string();
  }
}

TEST(RoleDispatch, SplitsTheCommandLineByTheShellsRules) {
  CommandLineArgs args;
  ASSERT_TRUE(qv::setup::SplitCommandLine(LR"("C:\a b\p.exe" --self-test "C:\r s\x.txt" "" a\"b)", args));
  EXPECT_EQ(args, (CommandLineArgs{LR"(C:\a b\p.exe)", L"--self-test", LR"(C:\r s\x.txt)", L"", L"a\"b"}));
}

// Which row of the program's own table takes a line (without running it).
std::string RoleFor(const CommandLineArgs& args) {
  const std::vector<RoleRow> table = qv::setup::SetupRoles({});
  RoleRun run;
  const RoleRow* row = qv::setup::FindRole(table, args, run);
  return row == nullptr ? "none" : row->name;
}

TEST(RoleDispatch, TheProgramsTable) {
  const struct {
    CommandLineArgs args;
    const char* role;
  } cases[] = {
      {{L"p", L"--check-update", L"r"}, "check-update"},
      {{L"p", L"--check-update"}, "none"},
      {{L"p", L"--check-update", L"r", L"x"}, "none"},
      {{L"p", L"--Check-Update", L"r"}, "none"},
      {{L"p", L"--verify-integrity", L"r"}, "verify-integrity"},
      {{L"p", L"--verify-integrity"}, "none"},
      {{L"p", L"--verify-integrity", L"r", L"x"}, "none"},
      {{L"p", L"--self-test", L"r"}, "self-test"},
      {{L"p", L"--self-test"}, "none"},
      {{L"p", L"--Self-Test", L"r"}, "none"},
      {{L"p", L"--self-test", L"r", L"x"}, "none"},
      {{L"p"}, "setup-window"},
      {{L"p", L"--preview", L"w.bmp"}, "preview"},
      {{L"p", L"--preview"}, "none"},
      {{L"p", L"--preview", L"w.bmp", L"x"}, "none"},
      {{L"p", L"--Preview", L"w.bmp"}, "none"},
      {{L"p", L""}, "none"},
      {{L"p", L"--uninstall"}, "uninstall"},
      {{L"p", L"--uninstall", L"--silent", L"C:\\QV"}, "uninstall"},
      {{L"p", L"--uninstall", L"--self-test", L"r"}, "uninstall"},  // offered before the test modes
      {{L"p", L"--Uninstall"}, "none"},
      {{L"p", L"--route-queue", L"g", L"x"}, "route-queue"},
      {{L"p", L"--route-queue", L"g"}, "none"},
      {{L"p", L"--route-queue", L"", L"x"}, "none"},
      {{L"p", L"--Route-Queue", L"g", L"x"}, "none"},
      {{L"p", L"--game-update", L"g"}, "game-update"},
      {{L"p", L"--game-update"}, "none"},
      {{L"p", L"--game-update", L""}, "none"},
      {{L"p", L"--Game-Update", L"g"}, "none"},
      // The updater is asked first: a line it takes is never a route's.
      {{L"p", L"--game-update", L"--route-queue", L"g", L"x"}, "game-update"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoleFor(c.args), c.role) << c.args.size();
  }
  // Every test mode's failures go to its result file; uninstall's nowhere.
  for (const RoleRow& row : qv::setup::SetupRoles({})) {
    if (row.name == "check-update" || row.name == "verify-integrity" || row.name == "self-test") {
      EXPECT_EQ(row.failures, FailureHandling::kResultFile) << row.name;
    }
    // The windowed roles report their own failures and never name a result file.
    if (row.name == "preview" || row.name == "setup-window") {
      EXPECT_EQ(row.failures, FailureHandling::kRoleOwn) << row.name;
    }
    if (row.name == "uninstall") {
      EXPECT_EQ(row.failures, FailureHandling::kExitOne);
    }
  }
}

}  // namespace
