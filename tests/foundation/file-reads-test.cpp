#include "foundation/files/file-reads.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/files/item-status.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::MakeDeepFolder;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

TEST(FileReads, SliceFromStartAndEnd) {
  TempFolder temp;
  auto file = temp / L"data.bin";
  WriteTestFile(file, "0123456789");
  struct Case {
    std::uint64_t length;
    std::int64_t offset;
    SliceOrigin origin;
    std::string expected;
  } cases[] = {
      {4, 0, SliceOrigin::Start, "0123"},
      {10, 0, SliceOrigin::Start, "0123456789"},
      {11, 0, SliceOrigin::Start, ""},          // fewer bytes than asked
      {4, 8, SliceOrigin::Start, ""},           // runs past the end
      {2, 8, SliceOrigin::Start, "89"},
      {4, -4, SliceOrigin::End, "6789"},
      {10, -10, SliceOrigin::End, "0123456789"},
      {36, -36, SliceOrigin::End, ""},          // before the start of a short file
      {1, -11, SliceOrigin::End, ""},
      {1, -1, SliceOrigin::Start, ""},
      {1, INT64_MAX, SliceOrigin::End, ""},     // no wrap-around
      {UINT64_MAX, 0, SliceOrigin::Start, ""},  // no huge buffer
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadFileSlice(file, c.length, c.offset, c.origin), c.expected) << c.length << " at " << c.offset;
  }
  EXPECT_EQ(ReadFileSlice(temp / L"missing", 1, 0, SliceOrigin::Start), "");
  EXPECT_EQ(ReadFileSlice(temp.path(), 1, 0, SliceOrigin::Start), "");  // a folder
}

TEST(FileReads, BytesAreExactAndBounded) {
  TempFolder temp;
  auto file = temp / L"data.bin";
  WriteTestFile(file, "0123456789");
  EXPECT_EQ(ReadFileBytes(file, 0, 10), "0123456789");
  EXPECT_EQ(ReadFileBytes(file, 10, 1), "");  // offset equal to the size
  EXPECT_EQ(ReadFileBytes(file, 10, 0), "");
  EXPECT_EQ(ReadFileBytes(file, 3, 2), "34");
  EXPECT_EQ(ReadFileBytes(file, 0xFFFFFFFFull, 4), "");
  EXPECT_EQ(ReadFileBytes(file, UINT64_MAX, 4), "");
  EXPECT_EQ(ReadFileBytes(file, 0, kMaxFileBytesRead + 1), "");
  EXPECT_EQ(ReadFileBytes(temp / L"missing", 0, 1), "");
}

TEST(FileReads, SmallFileLimit) {
  TempFolder temp;
  auto file = temp / L"small.bin";
  WriteTestFile(file, std::string("ab\0cd", 5));
  EXPECT_EQ(ReadSmallFile(file, 5), std::string("ab\0cd", 5));  // exactly the limit passes
  EXPECT_EQ(ReadSmallFile(file, 4), "");
  EXPECT_EQ(ReadSmallFile(temp.path(), 100), "");
  EXPECT_EQ(ReadSmallFile(temp / L"missing", 100), "");
}

TEST(FileReads, PiecesCoverTheFileUpToTheLimit) {
  TempFolder temp;
  auto file = temp / L"big.bin";
  std::string content(9u << 20, 'x');
  content[(4u << 20) - 1] = 'y';
  content[(4u << 20)] = 'z';
  content.back() = 'w';
  WriteTestFile(file, content);
  std::string seen;
  int pieces = 0;
  ScanFilePieces(file, UINT64_MAX, [&](std::string_view piece) {
    ++pieces;
    seen.append(piece);
    return true;
  });
  EXPECT_EQ(pieces, 3);
  EXPECT_TRUE(seen == content);
  seen.clear();
  ScanFilePieces(file, 5u << 20, [&](std::string_view piece) {
    seen.append(piece);
    return true;
  });
  EXPECT_EQ(seen.size(), 5u << 20);
  int calls = 0;
  ScanFilePieces(file, UINT64_MAX, [&](std::string_view) { return ++calls < 1; });
  EXPECT_EQ(calls, 1);
}

// The records and the setup file are read through these: a file deeper than
// MAX_PATH reads like any other, and a slice tells the size it was read at.
TEST(FileReads, FilesBeyondMaxPath) {
  TempFolder temp;
  const auto file = MakeDeepFolder(temp.path(), 300) / L"record.txt";
  ASSERT_GT(file.native().size(), 260u);
  WriteFixtureFile(file, "0123456789");
  EXPECT_EQ(ReadSmallFile(file, 10), "0123456789");
  std::uint64_t size = 0;
  EXPECT_EQ(ReadFileSlice(file, 3, -3, SliceOrigin::End, &size), "789");
  EXPECT_EQ(size, 10u);
  std::string pieces;
  ScanFilePieces(file, UINT64_MAX, [&](std::string_view piece) {
    pieces.append(piece);
    return true;
  });
  EXPECT_EQ(pieces, "0123456789");

  std::uint64_t untouched = 77;
  EXPECT_EQ(ReadFileSlice(temp / L"missing", 1, 0, SliceOrigin::Start, &untouched), "");
  EXPECT_EQ(untouched, 77u);
}

TEST(ItemStatus, FilesFoldersAndMissingItems) {
  TempFolder temp;
  WriteTestFile(temp / L"f\u00fcr.bin", "1234");
  auto file = ReadItemStatus(temp / L"f\u00fcr.bin");
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->directory);
  EXPECT_EQ(file->size, 4u);
  auto folder = ReadItemStatus(temp.path());
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->directory);
  EXPECT_FALSE(ReadItemStatus(temp / L"missing"));
  EXPECT_FALSE(ReadItemStatus(L""));
  EXPECT_EQ(ParentFolder(L"C:\\games\\pkg.pkg"), std::filesystem::path(L"C:\\games"));
  EXPECT_EQ(ParentFolder(L"C:\\pkg.pkg"), std::filesystem::path(L"C:\\"));
  EXPECT_EQ(ParentFolder(L"C:\\"), std::filesystem::path(L"C:\\"));
}

}  // namespace
