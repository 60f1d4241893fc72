#include "foundation/result-file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "selftest/fixtures/fixture-files.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ResultFileAcceptable;

TEST(ResultFile, GuardAcceptsNewFilesAndSmallFilesOnly) {
  qv::test::TempFolder temp{L"qv-result"};
  qv::test::WriteTestFile(temp / L"65536.txt", std::string(65536, 'a'));
  qv::test::WriteTestFile(temp / L"65537.txt", std::string(65537, 'a'));
  qv::test::WriteTestFile(temp / L"empty.txt", "");
  fs::create_directory(temp / L"folder");
  fs::create_directory(temp / L"empty folder");
  qv::test::WriteTestFile(temp / L"folder" / L"x.txt", "x");

  const struct {
    fs::path path;
    bool acceptable;
  } cases[] = {
      {temp / L"missing.txt", true},
      {temp / L"missing folder" / L"r.txt", true},
      {temp / L"65536.txt", true},
      {temp / L"empty.txt", true},
      {temp / L"65537.txt", false},
      {temp / L"folder", false},
      {temp / L"empty folder", false},
      {temp.path().native() + L"\\empty folder\\", false},
      {temp.path().root_path(), false},
      {temp / L"wild*.txt", true},  // names no item: the write fails on its own
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResultFileAcceptable(c.path), c.acceptable) << c.path.string();
  }
}

// Wine cannot make links: the view presents ordinary items as reparse points.
TEST(ResultFile, GuardRefusesLinksAndJunctions) {
  qv::test::TempFolder temp{L"qv-result"};
  qv::test::WriteTestFile(temp / L"link.txt", "small");
  qv::test::WriteTestFile(temp / L"wsl-link.txt", "small");
  qv::test::WriteTestFile(temp / L"dedup.txt", "small");
  fs::create_directory(temp / L"junction");
  const auto view = qv::test::ViewWithReparsePoints({
      {temp / L"link.txt", qv::setup::kReparseTagSymlink},
      {temp / L"junction", qv::setup::kReparseTagMountPoint},
      {temp / L"wsl-link.txt", 0xA000001D},  // another name surrogate
      {temp / L"dedup.txt", 0x80000013},     // a storage-level tag: the file is plain data
  });
  EXPECT_FALSE(ResultFileAcceptable(temp / L"link.txt", view));
  EXPECT_FALSE(ResultFileAcceptable(temp / L"junction", view));
  EXPECT_FALSE(ResultFileAcceptable(temp / L"wsl-link.txt", view));
  EXPECT_TRUE(ResultFileAcceptable(temp / L"dedup.txt", view));
  EXPECT_TRUE(ResultFileAcceptable(temp / L"other.txt", view));
}

TEST(ResultFile, WritesTextModeAndReportsFailures) {
  qv::test::TempFolder temp{L"qv-result"};
  const fs::path file = temp / L"r.txt";
  qv::test::WriteTestFile(file, std::string(1000, 'o'));
  qv::setup::WriteResultFile(file, "PASS one\ntwo\n");
  EXPECT_EQ(qv::test::ReadTestFile(file), "PASS one\r\ntwo\r\n");

  EXPECT_THROW(qv::setup::WriteResultFile(temp / L"missing folder" / L"r.txt", "x"), std::runtime_error);
  fs::create_directory(temp / L"folder");
  EXPECT_THROW(qv::setup::WriteResultFile(temp / L"folder", "x"), std::runtime_error);

  // The guarded writer reports rather than raises.
  EXPECT_TRUE(qv::setup::WriteGuardedResultFile(file, "failed\nhere"));
  EXPECT_EQ(qv::test::ReadTestFile(file), "failed\r\nhere");
  qv::test::WriteTestFile(file, std::string(65537, 'o'));
  EXPECT_FALSE(qv::setup::WriteGuardedResultFile(file, "failed"));
  EXPECT_EQ(qv::test::ReadTestFile(file), std::string(65537, 'o'));
  EXPECT_FALSE(qv::setup::WriteGuardedResultFile(temp / L"folder", "failed"));
  EXPECT_FALSE(qv::setup::WriteGuardedResultFile(temp / L"missing folder" / L"r.txt", "failed"));

  try {
    qv::setup::RequireAcceptableResultFile(temp / L"folder");
    ADD_FAILURE() << "a folder was accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "refusing to overwrite the result file");
  }
  EXPECT_NO_THROW(qv::setup::RequireAcceptableResultFile(temp / L"new.txt"));
}

// The fixtures' plain writer: bytes unchanged, no folders made, no failure raised.
TEST(ResultFile, WriteTextFileIsBinaryAndSilent) {
  qv::test::TempFolder temp{L"qv-result"};
  const fs::path file = temp / L"t.txt";
  qv::setup::WriteTextFile(file, "a longer first text\n");
  qv::setup::WriteTextFile(file, "one\ntwo");
  EXPECT_EQ(qv::test::ReadTestFile(file), "one\ntwo");
  EXPECT_NO_THROW(qv::setup::WriteTextFile(temp / L"missing" / L"t.txt", "x"));
  EXPECT_FALSE(fs::exists(temp / L"missing"));
}

}  // namespace
