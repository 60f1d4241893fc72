// The DLSS 5 route's texts and record: the tool log's last line, the note
// "tool-source.txt", the record's member lookup, writer and reader.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dlss5-fixtures.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-installer-run.h"
#include "routes/dlss5/dlss5-route-record.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RouteAction;
using qv::test::ReadTestFile;
using qv::test::RouteGameFolder;
using qv::test::TempFolder;
using qv::test::WriteTestFile;
namespace win_route = qv::setup::win_route;

TEST(Dlss5Texts, TheLastLineOfTheToolsLog) {
  const std::string ninety(90, 'n');
  const std::string ninety_one = std::string(87, 'a') + "bcde";
  struct Case {
    std::string log;
    std::string last;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"   \r\n\r\n  \n", ""},
      {"first\nsecond\n", "second"},
      {"first\r\nsecond  \r\n\r\n   \r\n", "second"},
      {"old\rnew\r", "new"},                         // CR alone ends a line
      {"x\n   leading and trailing   \n", "leading and trailing"},
      {ninety + "\n", ninety},                       // 90 stay whole
      {ninety_one + "\r\n", std::string(87, 'a') + "..."},
      {"   " + ninety + "   \r\n  \r\n", ninety},   // blanks go before the length counts
      {"x\n\t\n", "\t"},                             // only blanks are blanks
      {"no line end", "no line end"},
  };
  TempFolder folder(L"qv-dlss5-last");
  for (const Case& c : cases) {
    WriteTestFile(folder / L"log", c.log);
    EXPECT_EQ(qv::setup::ReadLastLine(folder / L"log"), c.last) << c.log;
  }
  EXPECT_EQ(qv::setup::ReadLastLine(folder / L"missing"), "");
}

TEST(Dlss5Texts, ToolLogLinesSplitAtCrAndLfAcrossLargeLogs) {
  TempFolder folder(L"qv-dlss5-lines");
  // Past the reader's 4 MiB pieces, with a CR LF across the boundary.
  std::string log(4u * 1024 * 1024 - 1, 'a');
  log += "\r\nb\rc";
  WriteTestFile(folder / L"log", log);
  std::vector<std::size_t> sizes;
  qv::setup::ForEachToolLogLine(folder / L"log", [&](std::string_view line) { sizes.push_back(line.size()); });
  EXPECT_EQ(sizes, (std::vector<std::size_t>{4u * 1024 * 1024 - 1, 0, 1, 1}));
  EXPECT_EQ(qv::setup::ReadLastLine(folder / L"log"), "c");
}

TEST(Dlss5Texts, JsonStringMember) {
  struct Case {
    const char* json;
    std::string text;
  };
  const std::vector<Case> cases = {
      {R"({"k": "text"})", "text"},
      {R"({"k": "a\"b\\c"})", "a\"b\\c"},
      {R"({"k": 12.5})", "12.5"},
      {R"({"k": true})", "true"},
      {R"({"k": null})", "null"},
      {R"({"k": ""})", ""},
      {R"({"k": {"x": "y"}})", ""},
      {R"({"k": []})", ""},
      {R"({"k": ["x"]})", ""},
      {R"({"K": "other key"})", ""},
      {R"({"k": "first", "k": "later"})", "later"},
  };
  for (const Case& c : cases) {
    const std::optional<qv::setup::JsonValue> object = qv::setup::ParseJsonDocument(c.json);
    ASSERT_TRUE(object) << c.json;
    EXPECT_EQ(qv::setup::JsonStringMember(*object, "k"), c.text) << c.json;
  }
}

// A game and work folder for the record's writer, without any tool.
struct RecordFolders {
  RouteGameFolder game;
  fs::path work = game / L"data" / L"dlss5-unlock";
  win_route::State state;

  RecordFolders() {
    fs::create_directories(work);
    state.game_folder = game.path();
    state.work_folder = work;
  }
  void ToolJson(const std::string& text) const { WriteTestFile(game / L"dlss5-autopilot.json", text); }
  std::string Record() const {
    const fs::path file = game / L"qv-dlss5-route.json";
    return fs::exists(file) ? ReadTestFile(file) : std::string();
  }
  std::optional<qv::setup::JsonValue> Parsed() const { return qv::setup::ParseJsonDocument(Record()); }
};

TEST(Dlss5Record, NoUsableToolJsonWritesNothingAndKeepsAnEarlierRecord) {
  for (const char* tool_json : {"", "[\"dxgi.dll\"]", "{\"files\": []} and more", "{\"files\": "}) {
    RecordFolders folders;
    if (*tool_json) folders.ToolJson(tool_json);
    WriteTestFile(folders.game / L"qv-dlss5-route.json", "earlier record");
    qv::setup::WriteDlss5RouteRecord(folders.state, "");
    EXPECT_EQ(folders.Record(), "earlier record") << tool_json;
    EXPECT_TRUE(qv::test::UpdaterLogMessages(folders.game.path()).empty()) << tool_json;
  }
}

TEST(Dlss5Record, ToolSourceLinesAndTheirDefaults) {
  struct Case {
    std::optional<std::string> text;
    std::string source;
    std::string tag;
  };
  const std::vector<Case> cases = {
      {std::nullopt, "pinned", "v2.0.8"},
      {"\nx\n", "pinned", "x"},
      {"src", "src", "v2.0.8"},
      {"src\n\n", "src", ""},
      {"src\r\ntag\r\nthird\r\n" + std::string(64, '0') + "\r\n", "src", "tag"},
  };
  for (const Case& c : cases) {
    RecordFolders folders;
    folders.ToolJson("{}");
    if (c.text) WriteTestFile(folders.work / L"tool-source.txt", *c.text);
    qv::setup::WriteDlss5RouteRecord(folders.state, "");
    const auto record = folders.Parsed();
    ASSERT_TRUE(record) << folders.Record();
    EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_source"), c.source);
    EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_tag"), c.tag);
  }
}

TEST(Dlss5Record, EntriesKeepTheToolsOrderAndRepeatsAndSkipWhatIsNoName) {
  RecordFolders folders;
  WriteTestFile(folders.game / L"a.dll", "abc");
  fs::create_directories(folders.game / L"folder");
  folders.ToolJson(R"({"path": 7, "components": ["x"], "files": ["a.dll", 3, "", "folder", "missing.dll", "a.dll"]})");
  qv::setup::WriteDlss5RouteRecord(folders.state, "");
  const std::string a = qv::setup::HashFile(folders.game / L"a.dll");
  EXPECT_EQ(folders.Record(),
            "{\n"
            "  \"format\": 1,\n"
            "  \"tool\": \"DLSS5-Autopilot\",\n"
            "  \"tool_source\": \"pinned\",\n"
            "  \"tool_tag\": \"v2.0.8\",\n"
            "  \"route\": \"7\",\n"
            "  \"qv_reshade_sha256\": \"\",\n"
            "  \"components\": {\"reshade\": \"\", \"renodx\": \"\", \"dlssnr\": \"\"},\n"
            "  \"files\": [\n"
            "    {\"name\": \"a.dll\", \"size\": 3, \"sha256\": \"" + a + "\"},\n"
            "    {\"name\": \"folder\", \"size\": 0, \"sha256\": \"\"},\n"
            "    {\"name\": \"missing.dll\", \"size\": 0, \"sha256\": \"\"},\n"
            "    {\"name\": \"a.dll\", \"size\": 3, \"sha256\": \"" + a + "\"}\n"
            "  ]\n"
            "}\n");
  EXPECT_EQ(qv::test::UpdaterLogMessages(folders.game.path()),
            (std::vector<std::string>{"dlss5 route: components: ReShade , renodx , dlssnr  (tool pinned v2.0.8)",
                                      "dlss5 route:   file a.dll 3 bytes sha256 " + a,
                                      "dlss5 route:   file folder 0 bytes sha256 unreadable",
                                      "dlss5 route:   file missing.dll 0 bytes sha256 unreadable",
                                      "dlss5 route:   file a.dll 3 bytes sha256 " + a}));
}

TEST(Dlss5Record, OneEntryHasNoCommaAndNoEntriesCloseTheArrayAtOnce) {
  RecordFolders folders;
  folders.ToolJson(R"({"files": ["only.dll"]})");
  qv::setup::WriteDlss5RouteRecord(folders.state, "");
  EXPECT_NE(folders.Record().find(
                "  \"files\": [\n    {\"name\": \"only.dll\", \"size\": 0, \"sha256\": \"\"}\n  ]\n}\n"),
            std::string::npos);
  folders.ToolJson(R"({"files": "not an array"})");
  qv::setup::WriteDlss5RouteRecord(folders.state, "");
  EXPECT_NE(folders.Record().find("  \"files\": [\n  ]\n}\n"), std::string::npos);
}

TEST(Dlss5Record, NamesThatLeaveTheGameFolderOrNameDevicesAreNeverOpened) {
  RecordFolders folders;
  // A file beside the game folder that ".." or an absolute name would reach.
  WriteTestFile(folders.game.path().parent_path() / L"outside.txt", "outside");
  const std::string outside = qv::setup::NativePathToUtf8(folders.game.path().parent_path() / L"outside.txt");
  const std::vector<std::string> names = {"../outside.txt", "sub/../../outside.txt", outside, "\\\\.\\pipe\\x",
                                          "COM1", "nul.txt", "x.dll:stream", "/outside.txt"};
  std::string json = "{\"files\": [";
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string escaped;
    for (char c : names[i]) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    json += (i ? ", \"" : "\"") + escaped + "\"";
  }
  json += "]}";
  folders.ToolJson(json);
  qv::setup::WriteDlss5RouteRecord(folders.state, "");
  const auto record = folders.Parsed();
  ASSERT_TRUE(record) << folders.Record();
  const qv::setup::JsonValue& entries = record->members.at("files");
  ASSERT_EQ(entries.items.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(qv::setup::JsonStringMember(entries.items[i], "name"), names[i]);
    EXPECT_EQ(qv::setup::JsonStringMember(entries.items[i], "size"), "0") << names[i];
    EXPECT_EQ(qv::setup::JsonStringMember(entries.items[i], "sha256"), "") << names[i];
  }
}

TEST(Dlss5Record, AFileWhoseSizeCannotBeReadGetsAllBitsSet) {
  RecordFolders folders;
  WriteTestFile(folders.game / L"hidden.dll", "xyz");
  qv::setup::FileSystemView view = qv::setup::SystemView();
  // The directory search cannot list it, its attributes can be read: a folder
  // the user may pass through but not list.
  view.find_item = [](const fs::path&) { return std::optional<qv::setup::ItemInfo>(); };
  const qv::setup::RecordedToolFile file = qv::setup::ProbeToolFile(folders.game.path(), "hidden.dll", view);
  EXPECT_EQ(file.size, 18446744073709551615u);
  EXPECT_EQ(file.sha256, qv::setup::HashFile(folders.game / L"hidden.dll"));
  folders.ToolJson(R"({"files": ["hidden.dll"]})");
  qv::setup::WriteDlss5RouteRecord(folders.state, "", view);
  EXPECT_NE(folders.Record().find("\"size\": 18446744073709551615,"), std::string::npos);

  // Links and junctions are not followed.
  const qv::setup::FileSystemView links =
      qv::test::ViewWithReparsePoints({{folders.game / L"hidden.dll", qv::setup::kReparseTagSymlink}});
  const qv::setup::RecordedToolFile link = qv::setup::ProbeToolFile(folders.game.path(), "hidden.dll", links);
  EXPECT_EQ(link.size, 0u);
  EXPECT_EQ(link.sha256, "");
}

TEST(Dlss5Record, QuotesBackslashesAndControlCharactersReadBackUnchanged) {
  RecordFolders folders;
  folders.ToolJson(R"({"path": "na\"tive\\route", "components": {"reshade": "6.3 \"beta\"", "renodx": "C:\\x\\", )"
                   R"("dlssnr": "a\u0001\tb\nc\u001f"}, "files": ["we\"ird\\name.dll"]})");
  WriteTestFile(folders.work / L"tool-source.txt", "sou\"rce\\\n\"tag\"\n");
  qv::setup::WriteDlss5RouteRecord(folders.state, "");
  const auto record = folders.Parsed();
  ASSERT_TRUE(record) << folders.Record();
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "route"), "na\"tive\\route");
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_source"), "sou\"rce\\");
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_tag"), "\"tag\"");
  const qv::setup::JsonValue& components = record->members.at("components");
  EXPECT_EQ(qv::setup::JsonStringMember(components, "reshade"), "6.3 \"beta\"");
  EXPECT_EQ(qv::setup::JsonStringMember(components, "renodx"), "C:\\x\\");
  EXPECT_EQ(qv::setup::JsonStringMember(components, "dlssnr"), std::string("a\x01\tb\nc\x1f"));
  EXPECT_EQ(qv::setup::JsonStringMember(record->members.at("files").items.at(0), "name"), "we\"ird\\name.dll");
  EXPECT_NE(folders.Record().find(R"("route": "na\"tive\\route",)"), std::string::npos);
  EXPECT_NE(folders.Record().find(R"("dlssnr": "a\u0001\tb\nc\u001f")"), std::string::npos);
}

TEST(Dlss5Record, TheRecordedReShadeHashReadsBack) {
  struct Case {
    std::optional<std::string> record;
    std::string hash;
  };
  const std::vector<Case> cases = {
      {std::nullopt, ""},
      {"not json", ""},
      {R"({"qv_reshade_sha256": "abc"} trailing)", ""},
      {R"(["qv_reshade_sha256"])", ""},
      {R"({"qv_reshade_sha256": "abc"})", "abc"},
      {R"({"qv_reshade_sha256": 12})", "12"},
      {R"({"qv_reshade_sha256": {"x": "y"}})", ""},
  };
  for (const Case& c : cases) {
    RecordFolders folders;
    if (c.record) WriteTestFile(folders.game / L"qv-dlss5-route.json", *c.record);
    EXPECT_EQ(qv::setup::ReadRecordedReShadeHash(folders.state), c.hash) << c.record.value_or("(none)");
  }
}

}  // namespace
