// The title-picture and file-level update self tests, called directly on a
// temporary folder as the driver calls them: both pass on the built engine
// and write nothing beside their own test folder.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
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

// An engine that misjudges an identical file as changed rewrites it: the
// counts show one unchanged file short, and the backdated file's last-write
// time shows the rewrite, in both update variants. The hook misreads each
// installed "shaders/same.spv" the first time only, so the run's own final
// check finds it whole and later scenarios see the truth.
TEST(FileUpdateSelfTest, AFileMisjudgedAsChangedIsSeenRewritten) {
  TempFolder root{L"qv-files-test"};
  auto misread = std::make_shared<std::set<fs::path>>();
  const qv::setup::FileHasher misjudging = [misread](const fs::path& file) {
    const std::string real = qv::setup::HashFile(file);
    const bool installed = file.parent_path().parent_path().filename() == L"QV";
    if (installed && file.filename() == L"same.spv" && misread->insert(file).second) return std::string(64, '0');
    return real;
  };
  EXPECT_EQ(qv::setup::SelfTestFileUpdate(root / L"files", misjudging),
            " files-counts(1/6) files-identical-rewritten"
            " files-counts-no-manifest(1/6) files-identical-rewritten-no-manifest");
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
