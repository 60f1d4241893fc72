#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include <filesystem>
#include <regex>
#include <string>

#include "engine/records/update-log.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::AppendUpdateLog;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const std::string kStamp = R"(\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d )";

TEST(UpdateLog, AppendsStampedLinesInCallOrder) {
  TempFolder temp;
  fs::create_directories(temp / L"data");
  AppendUpdateLog(temp.path(), "updated 1.0.2 -> 1.0.3: 3 replaced, 1 added, 0 removed");
  AppendUpdateLog(temp.path(), "caf\xC3\xA9 \"quoted\" 100%s");
  AppendUpdateLog(temp.path(), "");
  AppendUpdateLog(temp.path(), "two\nlines");
  const std::string log = ReadTestFile(temp / L"data" / L"qv-update.log");
  const std::regex expected("^" + kStamp + "updated 1\\.0\\.2 -> 1\\.0\\.3: 3 replaced, 1 added, 0 removed\n" + kStamp +
                            "caf\xC3\xA9 \"quoted\" 100%s\n" + kStamp + "\n" + kStamp + "two\nlines\n$");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
  EXPECT_EQ(log.find('\r'), std::string::npos);
}

TEST(UpdateLog, StampIsTheLocalTime) {
  const std::string stamp = qv::setup::LocalTimeStamp();
  ASSERT_TRUE(std::regex_match(stamp, std::regex(kStamp))) << stamp;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char day[16];
  std::snprintf(day, sizeof day, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
  if (now.wHour != 0 || now.wMinute != 0) {  // not across midnight
    EXPECT_EQ(stamp.substr(0, 10), day);
  }
}

TEST(UpdateLog, NeedsARealDataFolder) {
  TempFolder temp;
  AppendUpdateLog(temp.path(), "nothing");
  EXPECT_FALSE(fs::exists(temp / L"data"));
  WriteTestFile(temp / L"data", "a file named data");
  AppendUpdateLog(temp.path(), "nothing");
  EXPECT_EQ(ReadTestFile(temp / L"data"), "a file named data");
  AppendUpdateLog(temp / L"missing", "nothing");
  EXPECT_FALSE(fs::exists(temp / L"missing"));
}

TEST(UpdateLog, KeepsEarlierLines) {
  TempFolder temp;
  WriteTestFile(temp / L"data" / L"qv-update.log", "older line\n");
  AppendUpdateLog(temp.path(), "newer line");
  const std::string log = ReadTestFile(temp / L"data" / L"qv-update.log");
  EXPECT_TRUE(std::regex_match(log, std::regex("^older line\n" + kStamp + "newer line\n$"))) << log;
}

}  // namespace
