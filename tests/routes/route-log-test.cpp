#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "foundation/files/file-system-view.h"
#include "route-fixtures.h"
#include "routes/route-log.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::LogRouteQueue;
using qv::test::ReadTestFile;
using qv::test::RouteGameFolder;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

TEST(RouteLog, AppendsTimeStampedQueueLinesWithLfOnly) {
  RouteGameFolder game;
  WriteTestFile(game / L"data" / L"qv-updater.log", "2024-01-02 03:04:05 earlier line\n");
  LogRouteQueue(game.path(), "start fg:install");
  LogRouteQueue(game.path(), "");
  LogRouteQueue(game.path(), "caf\xC3\xA9 100%s {1}");
  const std::string log = ReadTestFile(game / L"data" / L"qv-updater.log");
  const std::string stamp = R"(\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d )";
  EXPECT_TRUE(std::regex_match(log, std::regex("2024-01-02 03:04:05 earlier line\n" + stamp +
                                               "route queue: start fg:install\n" + stamp + "route queue: \n" + stamp +
                                               "route queue: caf\xC3\xA9 100%s \\{1\\}\n")))
      << log;
  EXPECT_EQ(log.find('\r'), std::string::npos);
}

TEST(RouteLog, WritesOnlyIntoARealDataFolder) {
  TempFolder temp;
  // No "data": nothing is created.
  LogRouteQueue(temp.path(), "nothing");
  EXPECT_FALSE(fs::exists(temp / L"data"));
  // A file named "data" stays as it is.
  WriteTestFile(temp / L"data", "a file named data");
  LogRouteQueue(temp.path(), "nothing");
  EXPECT_EQ(ReadTestFile(temp / L"data"), "a file named data");
  // A missing game folder.
  LogRouteQueue(temp / L"missing", "nothing");
  EXPECT_FALSE(fs::exists(temp / L"missing"));
}

TEST(RouteLog, NeverWritesThroughALinkOrJunction) {
  struct Case {
    std::uint32_t tag;
    bool written;
  };
  for (const Case& c : {Case{qv::setup::kReparseTagMountPoint, false}, Case{qv::setup::kReparseTagSymlink, false},
                        Case{0x9000001A /* a cloud-file placeholder: a plain folder */, true}}) {
    RouteGameFolder game;
    const auto view = qv::test::ViewWithReparsePoints({{game / L"data", c.tag}});
    LogRouteQueue(game.path(), "through the view", view);
    EXPECT_EQ(fs::exists(game / L"data" / L"qv-updater.log"), c.written) << std::hex << c.tag;
  }
}

}  // namespace
