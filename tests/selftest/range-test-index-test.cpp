// The index of "--range-test": its tokens, its lines and the lines it refuses.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "selftest/range-test.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::ThrownMessage;

const std::string kDigest(64, 'a');

TEST(RangeTestIndex, NextTokenRunsToTheNextBlank) {
  const std::string line = "12 ab  c";
  LineCursor cursor{line};
  EXPECT_EQ(NextToken(cursor), "12");
  EXPECT_EQ(cursor.position, 3u);
  EXPECT_EQ(NextToken(cursor), "ab");
  EXPECT_EQ(NextToken(cursor), "");  // two blanks: an empty field between them
  EXPECT_EQ(NextToken(cursor), "c");
  EXPECT_EQ(cursor.position, line.size());
  EXPECT_EQ(NextToken(cursor), "");  // at the end: nothing, and the cursor stays
  EXPECT_EQ(cursor.position, line.size());
  cursor.position = line.size() + 1;
  EXPECT_THROW(NextToken(cursor), std::out_of_range);
}

TEST(RangeTestIndex, LinesBecomeEntries) {
  const std::string text = "100 20 30 " + kDigest + " dir/with blanks/a b.bin\r\n" +
                           "5 0 1 " + kDigest + " skipped because packed is 0\n" +
                           "\r\n" +
                           "7 8 9 " + kDigest + " \n" +  // empty path: skipped
                           "+1 2x 0010 " + kDigest + " last.bin";     // read as strtoull reads
  const std::vector<qv::update::FileEntry> entries = ParseRangeTestIndex(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].offset, 100u);
  EXPECT_EQ(entries[0].packed, 20u);
  EXPECT_EQ(entries[0].size, 30u);
  EXPECT_EQ(entries[0].sha256, kDigest);
  EXPECT_EQ(entries[0].path, "dir/with blanks/a b.bin");
  EXPECT_EQ(entries[1].offset, 1u);
  EXPECT_EQ(entries[1].packed, 2u);
  EXPECT_EQ(entries[1].size, 10u);
  EXPECT_EQ(entries[1].path, "last.bin");
  EXPECT_EQ(ParseRangeTestIndex("1 2 3 " + kDigest + " x\n").size(), ParseRangeTestIndex("1 2 3 " + kDigest + " x\r\n").size());
  EXPECT_TRUE(ParseRangeTestIndex("").empty());
}

TEST(RangeTestIndex, LinesLackingFieldsOrReachingPastTheLargestPositionAreRefused) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"1 2 3", "line 2 of the index has fewer than five fields"},
      {"1 2 3 " + kDigest, "line 2 of the index has fewer than five fields"},
      {"garbage", "line 2 of the index has fewer than five fields"},
      {"18446744073709551615 1 1 " + kDigest + " a", "line 2 of the index places its data beyond the largest file position"},
      {"18446744073709551000 1000 1 " + kDigest + " a",
       "line 2 of the index places its data beyond the largest file position"},
      {"99999999999999999999 1 1 " + kDigest + " a",  // saturates, then reaches past the end
       "line 2 of the index places its data beyond the largest file position"},
      {"1 -1 1 " + kDigest + " a",  // "-1" wraps as strtoull makes it
       "line 2 of the index places its data beyond the largest file position"},
  };
  for (const Case& c : cases) {
    const std::string text = "0 10 10 " + kDigest + " first.bin\n" + c.line + "\n";
    EXPECT_EQ(ThrownMessage([&] { ParseRangeTestIndex(text); }), c.message) << c.line;
  }
  // At the largest position exactly, nothing wraps.
  EXPECT_EQ(ParseRangeTestIndex("18446744073709551614 1 1 " + kDigest + " a").size(), 1u);
}

TEST(RangeTestIndex, AnIndexWithoutFilesIsRefusedBeforeAnyRequest) {
  qv::test::TempFolder temp(L"qv-range-index");
  qv::test::WriteTestFile(temp / L"index.txt", "1 0 1 " + kDigest + " a\r\n2 0 2 " + kDigest + " b\r\n");
  const auto hasher = [](const std::filesystem::path&) { return std::string(); };
  // The address is never asked for: there is no server behind it.
  EXPECT_EQ(ThrownMessage([&] { RunRangeTest("https://localhost:1/x", temp / L"index.txt", temp / L"out", hasher); }),
            "no files in the index");
  EXPECT_EQ(ThrownMessage([&] { RunRangeTest("https://localhost:1/x", temp / L"missing.txt", temp / L"out", hasher); }),
            "no files in the index");
}

}  // namespace
