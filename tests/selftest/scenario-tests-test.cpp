// The journal, portable-copy, frame-generation unlock, non-ASCII names and
// uninstall self tests, each called directly on a folder of its own as the
// driver calls it: every one passes on the built engine, and none leaves
// anything outside its folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/scenario/scenario-fg-unlock.h"
#include "selftest/scenario/scenario-journal.h"
#include "selftest/scenario/scenario-portable.h"
#include "selftest/scenario/scenario-unicode-paths.h"
#include "selftest/scenario/scenario-uninstall.h"
#include "selftest/self-test-scenarios.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::TempFolder;

// The names directly in `folder`, as UTF-8.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const FolderEntry& entry : ListEntries(folder)) names.push_back(WideToUtf8(entry.name));
  return names;
}

// The tests that clean up after themselves leave the folder they were given
// no more than they found it: gone, with nothing beside it.
TEST(ScenarioTests, CleaningTestsPassAndLeaveNothing) {
  const struct {
    const wchar_t* folder;
    std::string (*test)(const fs::path&);
  } tests[] = {
      {L"journal", SelfTestJournalRecovery},
      {L"fg-unlock", SelfTestFgUnlock},
      {L"uninstall", SelfTestUninstall},
  };
  for (const auto& t : tests) {
    TempFolder temp;
    EXPECT_EQ(t.test(temp / t.folder), "") << WideToUtf8(t.folder);
    EXPECT_EQ(Names(temp.path()), std::vector<std::string>{}) << WideToUtf8(t.folder);
  }
}

// The portable test leaves its folders for the driver's removal of the root;
// nothing beside its folder, and nothing beside the failed run's copy.
TEST(ScenarioTests, PortableUpdatePassesInItsFolder) {
  TempFolder temp;
  const fs::path folder = temp / L"portable";
  EXPECT_EQ(SelfTestPortableUpdate(folder, HashFile), "");
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"portable"});
  EXPECT_EQ(Names(folder / L"undo"), std::vector<std::string>{"QV"});
  EXPECT_EQ(Names(folder / L"copy"), std::vector<std::string>{"QV"});
  EXPECT_EQ(ReadFileText(folder / L"copy" / L"QV" / L"qv.exe"), "new exe");
}

// Given the root itself, the non-ASCII test works only in its own folder, and
// every name it made is on disk byte for byte as its UTF-8 text says.
TEST(ScenarioTests, UnicodePathsPassesInItsOwnFolder) {
  TempFolder temp;
  const fs::path root = temp / L"root";
  EXPECT_EQ(SelfTestUnicodePaths(root), "");
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"root"});
  ASSERT_EQ(Names(root), std::vector<std::string>{"Š İ 日本語 😀"});
  const fs::path folder = root / PathFromUtf8("Š İ 日本語 😀");
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"dump-日本語", "install-Š-İ-日本語-😀"}));
  const fs::path parent = folder / PathFromUtf8("install-Š-İ-日本語-😀");
  // The failed second commit put the first commit's file back.
  EXPECT_EQ(ReadFileText(parent / L"QV" / L"qv.exe"), "new executable");
  const std::vector<std::string> dump = Names(folder / PathFromUtf8("dump-日本語"));
  EXPECT_EQ(std::set<std::string>(dump.begin(), dump.end()),
            (std::set<std::string>{"chunk-日本語-😀.PSARC", "texture-Š.qar", "pathid_list-İ-日本語.bin"}));
}

// The table runs every scenario test, in this order (the non-ASCII test given
// the root itself, so its folder name is empty).
TEST(ScenarioTests, RunInTheirPlacesOfTheTable) {
  const std::vector<std::string> order = {"update",   "title-picture", "journal", "files",
                                          "portable", "fg-unlock",     "",        "uninstall"};
  std::vector<std::string> folders;
  for (const SelfTestScenario& scenario : BuiltInSelfTestScenarios()) folders.push_back(scenario.folder);
  EXPECT_EQ(folders, order);
}

}  // namespace
