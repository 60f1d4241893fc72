// The in-place update self test called directly on a folder, as the driver
// calls it: it passes on the built engine and writes nothing outside its
// folder. Faults planted in the folder before the run (a folder where a file
// goes, a file where a folder goes, something already standing where the test
// writes) make the engine refuse or miss exactly what a broken behaviour
// would, and must show as the sections' tokens, in run order, without
// stopping the sections after them.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/scenario/scenario-update.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const FolderEntry& entry : ListEntries(folder)) names.push_back(WideToUtf8(entry.name));
  std::sort(names.begin(), names.end());
  return names;
}

void MakeFolder(const fs::path& folder) { fs::create_directories(folder); }

TEST(UpdateSelfTest, PassesAndWritesOnlyInItsFolder) {
  TempFolder temp;
  const fs::path folder = temp / L"update";
  EXPECT_EQ(SelfTestUpdate(folder), "");
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"update"});
  EXPECT_EQ(Names(folder),
            (std::vector<std::string>{"big.bin", "custom install location", "empty", "not-a-folder", "other",
                                      "reserved-data", "result.txt", "rollback0", "rollback2", "rollback5",
                                      "with", "without", "write-probe"}));

  // What the sections left is what their checks passed on.
  for (const wchar_t* variant : {L"with", L"without"}) {
    const fs::path install = folder / variant / L"QV";
    EXPECT_EQ(ReadFileText(install / L"qv.exe"), "new exe");
    EXPECT_EQ(ReadFileText(install / L"qv-install-manifest.txt"), "qv-port-install 1\nversion=0.2.0\n");
    EXPECT_EQ(ReadFileText(install / L"data" / L"qv.log"), "user folder log");
    EXPECT_FALSE(ItemExists(install / L"shaders" / L"gone.spv"));
    EXPECT_EQ(ReadFileText(folder / variant / L".qv-update-old-t" / L"shaders" / L"gone.spv"), "old gone");
  }
  for (const wchar_t* rollback : {L"rollback0", L"rollback2", L"rollback5"}) {
    EXPECT_EQ(ReadFileText(folder / rollback / L"QV" / L"qv.exe"), "old exe");
    EXPECT_EQ(ReadFileText(folder / rollback / L"QV" / L"shaders" / L"gone.spv"), "old gone");
    EXPECT_FALSE(ItemExists(folder / rollback / L"QV" / L"shaders" / L"b.spv"));
    EXPECT_EQ(ReadFileText(folder / rollback / L".qv-update-t" / L"shaders" / L"b.spv"), "new b");
  }
  EXPECT_EQ(ReadFileText(folder / L"reserved-data" / L"QV" / L"data" / L"qv.log"), "user folder log");
  EXPECT_EQ(ReadFileText(folder / L"reserved-data" / L".qv-update-t" / L"data" / L"qv.log"), "payload overwrite");
  EXPECT_FALSE(ItemExists(folder / L"reserved-data" / L".qv-update-old-t"));
  EXPECT_EQ(Names(folder / L"write-probe"), std::vector<std::string>{});
  EXPECT_EQ(Names(folder / L"custom install location" / L"QV" / L"data"), std::vector<std::string>{"qv.log"});
}

// Each fault is planted under the test's folder before it runs.
struct PlantedFault {
  const char* name;
  std::function<void(const fs::path& folder)> plant;
  std::string tokens;
};

// In run order.
const PlantedFault kFaults[] = {
    // An obsolete file that is a folder: the sweep keeps it, removing three.
    {"obsolete folder", [](const fs::path& f) { MakeFolder(f / L"with" / L"QV" / L"voice" / L"en-us" / L"mdef"); },
     " obsolete kept (manifest) counts (manifest)"},
    // The commit refuses at its guards: the variant's later checks are
    // skipped, and the installation stays at the old version for the
    // question at the end.
    {"folder in the way of an update",
     [](const fs::path& f) { MakeFolder(f / L"with" / L"QV" / L"shaders" / L"b.spv"); },
     " swap (manifest): A folder is in the way of shaders/b.spv. same-version-question"},
    // An older installation that has a manifest after all: the probe reports
    // it, the sweep takes that manifest, which names no file, as the whole
    // list of program files, and the commit then replaces the manifest.
    {"manifest in the older install",
     [](const fs::path& f) {
       WriteTestFile(f / L"without" / L"QV" / L"qv-install-manifest.txt", "qv-port-install 1\nversion=0.0.8\n");
     },
     " inspect (older install) obsolete kept (older install) counts (older install)"},
    // A refusal at the guards leaves the tree intact without any undo; it
    // must not pass as a rollback.
    {"folder in the way of a rollback",
     [](const fs::path& f) { MakeFolder(f / L"rollback2" / L"QV" / L"shaders" / L"b.spv"); },
     " rollback at step 2: A folder is in the way of shaders/b.spv."},
    {"install manifest in the other folder",
     [](const fs::path& f) { WriteTestFile(f / L"other" / L"qv-install-manifest.txt", "qv-port-install 1\n"); },
     " other-folder-accepted"},
    {"file in the empty folder", [](const fs::path& f) { WriteTestFile(f / L"empty" / L"x", "x"); },
     " empty-folder-refused"},
    {"folder as the result file", [](const fs::path& f) { MakeFolder(f / L"result.txt"); }, " result-refused"},
    {"probe left from before",
     [](const fs::path& f) { MakeFolder(f / L"write-probe" / L".qv-write-probe-selftest"); },
     " write-probe-writable-folder: The test folder is not writable."},
    {"folder as the plain file", [](const fs::path& f) { MakeFolder(f / L"not-a-folder"); },
     " write-probe-accepted-file"},
    {"file as the custom data folder",
     [](const fs::path& f) { WriteTestFile(f / L"custom install location" / L"QV" / L"data", "x"); },
     " custom-data-directory: The game data folder must be a writable folder."},
};

TEST(UpdateSelfTest, PlantedFaultsGiveTheirTokens) {
  for (const PlantedFault& fault : kFaults) {
    TempFolder temp;
    const fs::path folder = temp / L"update";
    fault.plant(folder);
    EXPECT_EQ(SelfTestUpdate(folder), fault.tokens) << fault.name;
    EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"update"}) << fault.name;
  }
}

// Several faults at once: every section runs, whatever the earlier ones
// found, and the tokens follow the run order.
TEST(UpdateSelfTest, TokensFollowTheRunOrder) {
  TempFolder temp;
  const fs::path folder = temp / L"update";
  std::string expected;
  for (const PlantedFault& fault : kFaults) {
    if (fault.tokens.find("same-version-question") != std::string::npos) continue;  // stops the "with" commit
    fault.plant(folder);
    expected += fault.tokens;
  }
  EXPECT_EQ(SelfTestUpdate(folder), expected);
}

// A destination the test must be able to read, but which is a file, ends the
// test with the refusal's own text rather than a token.
TEST(UpdateSelfTest, UnreadableDestinationEndsTheTest) {
  TempFolder temp;
  const fs::path folder = temp / L"update";
  WriteTestFile(folder / L"nothing", "x");
  try {
    SelfTestUpdate(folder);
    ADD_FAILURE() << "the test went on";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Choose a new installation folder. Existing folders are never overwritten.");
  }
}

}  // namespace
