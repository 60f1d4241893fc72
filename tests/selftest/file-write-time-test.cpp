// Last-write times read and set to the volume's full resolution.

#include <gtest/gtest.h>

#include "selftest/file-write-time.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::test::TempFolder;

// Whole-second times would miss a rewrite within the same second; the
// backdated time shows it at once.
TEST(FileWriteTime, RewriteRightAfterBackdatingShows) {
  TempFolder temp;
  const fs::path file = temp / L"same.spv";
  qv::test::WriteTestFile(file, "same shader");
  const std::uint64_t backdated = qv::setup::BackdateFile(file);
  EXPECT_EQ(backdated, qv::setup::kLongPastWriteTime);
  EXPECT_EQ(qv::setup::ReadLastWriteTime(file), backdated);
  qv::test::WriteTestFile(file, "same shader");
  EXPECT_NE(qv::setup::ReadLastWriteTime(file), backdated);
}

TEST(FileWriteTime, MissingFileRaisesWithTheCall) {
  TempFolder temp;
  try {
    qv::setup::ReadLastWriteTime(temp / L"missing");
    FAIL() << "no exception";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("GetFileTime"), std::string::npos) << error.what();
  }
  EXPECT_THROW(qv::setup::BackdateFile(temp / L"missing"), fs::filesystem_error);
}

}  // namespace
