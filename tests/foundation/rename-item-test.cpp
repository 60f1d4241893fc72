#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/files/rename-item.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ExistingTarget;
using qv::setup::RenameItem;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

TEST(RenameItem, ReplacesOnlyWhenAskedTo) {
  TempFolder temp;
  WriteTestFile(temp / L"from", "new");
  WriteTestFile(temp / L"to", "old");
  std::error_code refused = RenameItem(temp / L"from", temp / L"to", ExistingTarget::kRefuse);
  EXPECT_TRUE(qv::setup::IsTargetExistsError(refused)) << refused.message();
  EXPECT_EQ(ReadTestFile(temp / L"to"), "old");
  EXPECT_EQ(ReadTestFile(temp / L"from"), "new");

  EXPECT_FALSE(RenameItem(temp / L"from", temp / L"to", ExistingTarget::kReplace));
  EXPECT_EQ(ReadTestFile(temp / L"to"), "new");
  EXPECT_FALSE(fs::exists(temp / L"from"));

  EXPECT_FALSE(RenameItem(temp / L"to", temp / L"free", ExistingTarget::kRefuse));
  EXPECT_EQ(ReadTestFile(temp / L"free"), "new");

  std::error_code missing = RenameItem(temp / L"missing", temp / L"elsewhere", ExistingTarget::kReplace);
  EXPECT_TRUE(missing);
  EXPECT_FALSE(qv::setup::IsTargetExistsError(missing));
}

}  // namespace
