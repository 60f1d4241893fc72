// The title-picture and file-level update self tests, called directly on a
// temporary folder as the driver calls them: both pass on the built engine
// and write nothing beside their own test folder.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/file-hash.h"
#include "foundation/text.h"
#include "selftest/scenario/scenario-file-update.h"
#include "selftest/scenario/scenario-title-picture.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::test::TempFolder;

std::vector<std::string> EntryNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(qv::setup::WideToUtf8(entry.path().filename().native()));
  }
  return names;
}

TEST(TitlePictureSelfTest, PassesAndRemovesItsFolder) {
  TempFolder root{L"qv-title-test"};
  const qv::setup::FileHasher hash = qv::setup::HashFile;
  EXPECT_EQ(qv::setup::SelfTestTitlePictureUpdate(root / L"title-picture", hash), "");
  EXPECT_EQ(EntryNames(root.path()), std::vector<std::string>{});
}

// The engine's staging, backup and fix folders lie beside the installations,
// all inside the test folder, which the test leaves for the driver.
TEST(FileUpdateSelfTest, PassesAndWritesOnlyBelowItsFolder) {
  TempFolder root{L"qv-files-test"};
  const qv::setup::FileHasher hash = qv::setup::HashFile;
  EXPECT_EQ(qv::setup::SelfTestFileUpdate(root / L"files", hash), "");
  EXPECT_EQ(EntryNames(root.path()), std::vector<std::string>{"files"});
  EXPECT_EQ(EntryNames(root / L"files" / L"undo0"), std::vector<std::string>{"QV"});
  EXPECT_EQ(EntryNames(root / L"files" / L"undo1"), std::vector<std::string>{"QV"});
}

// A hash hook that fails while the payload is built is not the test's to
// report: it reaches the driver, which ends the run with its text.
TEST(FileUpdateSelfTest, FailureWhileBuildingThePayloadLeavesTheTest) {
  TempFolder root{L"qv-files-test"};
  const qv::setup::FileHasher failing = [](const fs::path&) -> std::string {
    throw std::runtime_error("hashing failed");
  };
  EXPECT_THROW(qv::setup::SelfTestFileUpdate(root / L"files", failing), std::runtime_error);
  EXPECT_THROW(qv::setup::SelfTestTitlePictureUpdate(root / L"title-picture", failing), std::runtime_error);
}

}  // namespace
