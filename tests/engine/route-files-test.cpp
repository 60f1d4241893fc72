#include "engine/route-files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::CollectFrameGenRouteFiles;
using qv::setup::CollectRouteFiles;
using qv::setup::kRouteRecordMaxBytes;
using qv::setup::RouteFileKeys;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const RouteFileKeys kUnreadableRecord{"dbghelp.dll", "dlssg_sm86.ini", "qv-dlssg-route.json", "version.dll",
                                      "winmm.dll"};

class RouteFilesTest : public ::testing::Test {
 protected:
  void WriteFrameGenRecord(std::string_view text) { WriteTestFile(temp / L"qv-dlssg-route.json", text); }
  void WriteToolRecord(std::string_view text) { WriteTestFile(temp / L"dlss5-autopilot.json", text); }
  TempFolder temp;
};

TEST_F(RouteFilesTest, NoRecordsNoFiles) {
  EXPECT_TRUE(CollectFrameGenRouteFiles(temp.path()).empty());
  EXPECT_TRUE(CollectRouteFiles(temp.path()).empty());
  EXPECT_TRUE(CollectRouteFiles(temp / L"missing").empty());
  // A folder under a record's name is no record.
  fs::create_directories(temp / L"qv-dlssg-route.json");
  fs::create_directories(temp / L"dlss5-autopilot.json");
  EXPECT_TRUE(CollectRouteFiles(temp.path()).empty());
}

TEST_F(RouteFilesTest, FrameGenRecordNamesProxyAndFiles) {
  WriteFrameGenRecord(R"({"proxy": "dbghelp.dll", "files": [{"name": "dlssg_sm86/a.dll"}]})");
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()),
            (RouteFileKeys{"dbghelp.dll", "dlssg_sm86.ini", "dlssg_sm86/a.dll", "qv-dlssg-route.json"}));
}

TEST_F(RouteFilesTest, FrameGenRecordItemForms) {
  WriteFrameGenRecord(R"({"format": 1, "complete": true, "tool": "x", "proxy": "WinMM.DLL",
    "files": ["DLSSG_SM86\\Runtime\\B.DLL", {"name": 5}, {"name": ""}, {"size": 3}, "", 7, ["c.dll"],
              {"name": {"x": 1}}, {"name": "dlssg_sm86/c.dll", "size": 1, "sha256": "00"}]})");
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()),
            (RouteFileKeys{"5", "dlssg_sm86.ini", "dlssg_sm86/c.dll", "dlssg_sm86/runtime/b.dll", "qv-dlssg-route.json",
                           "winmm.dll"}));
}

TEST_F(RouteFilesTest, FrameGenRecordWithoutProxyAddsNoProxyName) {
  for (const char* text : {R"({"files": []})", R"({"proxy": "", "files": "version.dll"})", R"({"proxy": 3})", "{}"}) {
    WriteFrameGenRecord(text);
    EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()), (RouteFileKeys{"dlssg_sm86.ini", "qv-dlssg-route.json"})) << text;
  }
}

TEST_F(RouteFilesTest, UnreadableFrameGenRecordProtectsEveryProxyName) {
  for (const char* text : {"not json", R"({"proxy": "winmm.dll"} trailing)", R"(["version.dll"])", "", "\"text\"",
                           R"({"proxy": "winmm.dll")"}) {
    WriteFrameGenRecord(text);
    EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()), kUnreadableRecord) << text;
  }
  // White space after the object is fine.
  WriteFrameGenRecord("{\"proxy\": \"winmm.dll\"} \r\n\t");
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()),
            (RouteFileKeys{"dlssg_sm86.ini", "qv-dlssg-route.json", "winmm.dll"}));
}

// Exactly 1 MiB is read; one byte more makes the record unreadable.
TEST_F(RouteFilesTest, FrameGenRecordSizeLimit) {
  const std::string head = R"({"proxy": "winmm.dll"})";
  WriteFrameGenRecord(head + std::string(kRouteRecordMaxBytes - head.size(), ' '));
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()),
            (RouteFileKeys{"dlssg_sm86.ini", "qv-dlssg-route.json", "winmm.dll"}));
  WriteFrameGenRecord(head + std::string(kRouteRecordMaxBytes - head.size() + 1, ' '));
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()), kUnreadableRecord);
}

TEST_F(RouteFilesTest, ToolRecordAddsItsFiles) {
  WriteToolRecord(R"({"complete": true, "route": "native", "files": ["dxgi.dll", "reshade-shaders/x.fx"]})");
  EXPECT_EQ(CollectRouteFiles(temp.path()),
            (RouteFileKeys{"dlss5-autopilot.json", "dxgi.dll", "reshade-shaders/x.fx"}));
  // Only string items count; names are keyed like every other path.
  WriteToolRecord(R"({"files": ["Reshade\\A.INI", {"name": "b.dll"}, 1, "", ["c.dll"]]})");
  EXPECT_EQ(CollectRouteFiles(temp.path()), (RouteFileKeys{"dlss5-autopilot.json", "reshade/a.ini"}));
}

TEST_F(RouteFilesTest, ToolRecordJoinsTheFrameGenFiles) {
  WriteFrameGenRecord(R"({"proxy": "version.dll"})");
  WriteToolRecord(R"({"files": ["dxgi.dll"]})");
  EXPECT_EQ(CollectRouteFiles(temp.path()), (RouteFileKeys{"dlss5-autopilot.json", "dlssg_sm86.ini", "dxgi.dll",
                                                           "qv-dlssg-route.json", "version.dll"}));
  // The tool's record alone does not make the unlock installed.
  EXPECT_EQ(CollectFrameGenRouteFiles(temp.path()),
            (RouteFileKeys{"dlssg_sm86.ini", "qv-dlssg-route.json", "version.dll"}));
}

TEST_F(RouteFilesTest, BadOrLargeToolRecord) {
  WriteToolRecord("{\"files\": [\"dxgi.dll\"]} x");
  EXPECT_EQ(CollectRouteFiles(temp.path()), RouteFileKeys{"dlss5-autopilot.json"});
  WriteToolRecord("[\"dxgi.dll\"]");
  EXPECT_EQ(CollectRouteFiles(temp.path()), RouteFileKeys{"dlss5-autopilot.json"});

  const std::string head = R"({"files": ["dxgi.dll"]})";
  WriteToolRecord(head + std::string(kRouteRecordMaxBytes - head.size(), '\n'));
  EXPECT_EQ(CollectRouteFiles(temp.path()), (RouteFileKeys{"dlss5-autopilot.json", "dxgi.dll"}));
  WriteToolRecord(head + std::string(kRouteRecordMaxBytes - head.size() + 1, '\n'));
  EXPECT_TRUE(CollectRouteFiles(temp.path()).empty());
}

// The set decides what is deleted later: a name that could reach outside the
// game folder never enters it, whichever record gives it.
TEST_F(RouteFilesTest, NamesLeavingTheGameFolderAreDropped) {
  const std::string unsafe =
      R"(["../outside.dll", "..\\outside.dll", "dlssg_sm86/../../x.dll", "C:/Windows/System32/version.dll",
          "C:x.dll", "\\\\server\\share\\x.dll", "/etc/x", "\\x.dll", "x.dll:stream", "a/", ".",
          "sub/./x.dll", "\u0000x.dll", ". .", "ok/\u00e9.dll"])";
  WriteFrameGenRecord(R"({"proxy": "..\\version.dll", "files": )" + unsafe + "}");
  WriteToolRecord(R"({"files": )" + unsafe + "}");
  EXPECT_EQ(CollectRouteFiles(temp.path()),
            (RouteFileKeys{"dlss5-autopilot.json", "dlssg_sm86.ini", "ok/\xC3\xA9.dll", "qv-dlssg-route.json"}));
  // Text that is not UTF-8 is dropped too.
  WriteToolRecord("{\"files\": [\"bad\xFF.dll\", \"good.dll\"]}");
  EXPECT_EQ(CollectRouteFiles(temp.path()).count("good.dll"), 1u);
  EXPECT_EQ(CollectRouteFiles(temp.path()).count("bad\xFF.dll"), 0u);
}

}  // namespace
