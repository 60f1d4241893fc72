#include "engine/records/prior-package-files.h"

#include <gtest/gtest.h>

#include <string_view>

#include "engine/path-classes.h"

namespace {

using qv::setup::PriorPackageFiles;

TEST(PriorPackageFiles, AllRowsInStrictByteOrder) {
  EXPECT_EQ(PriorPackageFiles.size(), 354u);
  for (size_t i = 1; i < PriorPackageFiles.size(); ++i) {
    // string_view compares as unsigned bytes, which is ASCII order here.
    EXPECT_LT(PriorPackageFiles[i - 1], PriorPackageFiles[i]) << i;
  }
}

TEST(PriorPackageFiles, RowsAreSafeAsciiPathsOfThePort) {
  size_t extractor = 0;
  for (std::string_view row : PriorPackageFiles) {
    for (char c : row) EXPECT_TRUE(c > ' ' && c < 0x7f && c != '\\') << row;
    EXPECT_NE(row.front(), '/') << row;
    EXPECT_EQ(row.find("//"), std::string_view::npos) << row;
    // No row may ever name something of the player's.
    EXPECT_FALSE(qv::setup::IsPreservedUserPath(std::string(row))) << row;
    if (row.starts_with("extractor/")) ++extractor;
  }
  EXPECT_EQ(extractor, 194u);
  EXPECT_EQ(PriorPackageFiles.front(), "README.md");
  EXPECT_EQ(PriorPackageFiles.back(), "voice/whisper.dll");
}

}  // namespace
