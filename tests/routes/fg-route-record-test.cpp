// The frame-generation unlock's record, its inputs (the package manifest,
// "tool-source.txt", the zip's name) and what reads it back.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/route-files.h"
#include "fg-route-fixtures.h"
#include "foundation/text/json.h"
#include "route-fixtures.h"
#include "routes/fg/fg-package.h"
#include "routes/fg/fg-route-record.h"
#include "routes/route-record-values.h"
#include "support/scoped-variable.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::FgPackageManifest;
using qv::setup::FgRouteState;
using qv::setup::RecordedProxyName;
using qv::setup::WriteFgRouteRecord;
using qv::test::ReadTestFile;
using qv::test::RouteGameFolder;
using qv::test::UpdaterLogMessages;
using qv::test::WriteTestFile;

FgRouteState StateOf(const RouteGameFolder& game) {
  FgRouteState state;
  state.game_folder = game.path();
  state.work_folder = game / L"data" / L"dlssg-unlock";
  fs::create_directories(state.work_folder);
  return state;
}

std::string Entry(const std::string& name, const std::string& content) {
  return "    {\"name\": \"" + name + "\", \"size\": " + std::to_string(content.size()) + ", \"sha256\": \"" +
         qv::test::Sha256Hex(content) + "\"}";
}

std::string Record(const std::string& source, const std::string& tag, const std::string& runtime,
                   const std::vector<std::string>& entries) {
  std::string files;
  for (const std::string& entry : entries) files += (files.empty() ? "" : ",\n") + entry;
  return "{\n  \"format\": 1,\n  \"complete\": true,\n  \"tool\": \"dlssg_for_sm86\",\n  \"tool_source\": \"" + source +
         "\",\n  \"tool_tag\": \"" + tag + "\",\n  \"runtime\": \"" + runtime + "\",\n  \"proxy\": \"winmm.dll\",\n" +
         "  \"files\": [\n" + files + "\n  ]\n}\n";
}

TEST(FgRouteRecord, ListsTheProxyTheSettingsAndTheRuntimeFilesOnly) {
  RouteGameFolder game;
  const FgRouteState state = StateOf(game);
  WriteTestFile(game / L"winmm.dll", "proxy dlssg_sm86");
  WriteTestFile(game / L"dlssg_sm86.ini", "[ini]");
  WriteTestFile(game / L"dlssg_sm86" / L"a.dll", "a");
  WriteTestFile(game / L"dlssg_sm86" / L"b.dll", "b, changed since");
  WriteTestFile(game / L"escape.dll", "outside the runtime folder");
  WriteTestFile(state.work_folder / L"tool-source.txt", "manual\n");
  FgPackageManifest manifest;
  manifest.runtime = "rt";
  manifest.entries = {{"dlssg_sm86/a.dll", qv::test::Sha256Hex("a")},
                      {"dlssg_sm86/b.dll", qv::test::Sha256Hex("b")},
                      {"dlssg_sm86/missing.dll", qv::test::Sha256Hex("missing")},
                      {"dlssg_sm86/", ""},
                      {"dlssg_sm86.dll", ""},
                      {"Dlssg_sm86/a.dll", ""},
                      {"other/a.dll", ""},
                      {"dlssg_sm86/../escape.dll", ""},
                      {"dlssg_sm86/..\\escape.dll", ""},
                      {"", ""}};
  const auto summary = WriteFgRouteRecord(state, "winmm.dll", manifest);
  EXPECT_EQ(summary.source, "manual");
  EXPECT_EQ(summary.tag, "v0.4.0");
  EXPECT_EQ(summary.file_count, 6u);
  EXPECT_EQ(ReadTestFile(game / L"qv-dlssg-route.json"),
            Record("manual", "v0.4.0", "rt",
                   {Entry("winmm.dll", "proxy dlssg_sm86"), Entry("dlssg_sm86.ini", "[ini]"),
                    Entry("dlssg_sm86/a.dll", "a"), Entry("dlssg_sm86/b.dll", "b, changed since"),
                    R"(    {"name": "dlssg_sm86/missing.dll", "size": 0, "sha256": ""})",
                    R"(    {"name": "dlssg_sm86/", "size": 0, "sha256": ""})"}));
  // Only the file whose digest differs is reported; the missing one is not.
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            std::vector<std::string>{"fg route: WARNING file dlssg_sm86/b.dll sha " +
                                     qv::test::Sha256Hex("b, changed since") + " does not match the package " +
                                     qv::test::Sha256Hex("b")});
  EXPECT_EQ(qv::setup::CollectFrameGenRouteFiles(game.path()),
            (qv::setup::RouteFileKeys{"dlssg_sm86.ini", "dlssg_sm86/a.dll", "dlssg_sm86/b.dll",
                                      "dlssg_sm86/missing.dll", "qv-dlssg-route.json", "winmm.dll"}));
}

TEST(FgRouteRecord, SourceAndTagFromTheNote) {
  struct Case {
    const char* note;  // nullptr: no file
    const char* source;
    const char* tag;
  };
  for (const Case& c : {Case{nullptr, "pinned", "v0.4.0"}, Case{"", "pinned", "v0.4.0"},
                        Case{"manual", "manual", "v0.4.0"}, Case{"  github\r\n  v0.4.1 \t abc", "github", "v0.4.1"}}) {
    RouteGameFolder game;
    const FgRouteState state = StateOf(game);
    if (c.note) WriteTestFile(state.work_folder / L"tool-source.txt", c.note);
    const auto summary = WriteFgRouteRecord(state, "winmm.dll", {});
    EXPECT_EQ(summary.source, c.source);
    EXPECT_EQ(summary.tag, c.tag);
    // Without a package manifest: no runtime, exactly two files.
    EXPECT_EQ(summary.file_count, 2u);
    EXPECT_EQ(ReadTestFile(game / L"qv-dlssg-route.json"),
              Record(c.source, c.tag, "",
                     {R"(    {"name": "winmm.dll", "size": 0, "sha256": ""})",
                      R"(    {"name": "dlssg_sm86.ini", "size": 0, "sha256": ""})"}));
  }
}

TEST(FgRouteRecord, ValuesAreEscapedAndReadBack) {
  RouteGameFolder game;
  const FgRouteState state = StateOf(game);
  WriteTestFile(state.work_folder / L"tool-source.txt", "a\"quoted\\source tag\\\"");
  FgPackageManifest manifest;
  manifest.runtime = "rt \"1\" \\ \n";
  manifest.entries = {{"dlssg_sm86/q\"uote.dll", ""}};
  WriteFgRouteRecord(state, "winmm.dll", manifest);
  const auto record = qv::setup::ParseJsonDocument(ReadTestFile(game / L"qv-dlssg-route.json"));
  ASSERT_TRUE(record);
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_source"), "a\"quoted\\source");
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "tool_tag"), "tag\\\"");
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "runtime"), "rt \"1\" \\ \n");
  EXPECT_EQ(RecordedProxyName(game.path()), "winmm.dll");
  const auto* files = qv::setup::FindJsonMember(*record, "files");
  ASSERT_TRUE(files);
  ASSERT_EQ(files->items.size(), 3u);
  EXPECT_EQ(qv::setup::JsonStringMember(files->items[2], "name"), "dlssg_sm86/q\"uote.dll");
  EXPECT_EQ(qv::setup::JsonStringMember(files->items[2], "size"), "0");
  EXPECT_TRUE(qv::setup::CollectFrameGenRouteFiles(game.path()).count("dlssg_sm86/q\"uote.dll"));
}

TEST(FgRouteRecord, ARecordThatCannotBeWrittenIsSkipped) {
  RouteGameFolder game;
  const FgRouteState state = StateOf(game);
  WriteTestFile(game / L"qv-dlssg-route.json" / L"inside", "a folder stands under the record's name");
  const auto summary = WriteFgRouteRecord(state, "version.dll", {});
  EXPECT_EQ(summary.file_count, 2u);
  EXPECT_EQ(ReadTestFile(game / L"qv-dlssg-route.json" / L"inside"), "a folder stands under the record's name");
}

TEST(FgRouteRecord, RecordedProxyNameTakesOnlyTheThreeNames) {
  struct Case {
    const char* record;  // nullptr: no record
    const char* proxy;
  };
  for (const Case& c : {Case{nullptr, ""}, Case{R"({"proxy": "version.dll"})", "version.dll"},
                        Case{R"({"proxy": "winmm.dll", "files": []})", "winmm.dll"},
                        Case{R"({"proxy": "dbghelp.dll"})", "dbghelp.dll"}, Case{R"({"proxy": {"a": 1}})", ""},
                        Case{R"({"proxy": 42})", ""}, Case{R"({"proxy": "..\\..\\x.dll"})", ""},
                        Case{R"({"proxy": "qv.exe"})", ""}, Case{R"({"proxy": "Version.dll"})", ""},
                        Case{R"({"proxy": "version.dll"} trailing)", ""}, Case{R"(["version.dll"])", ""},
                        Case{"{ not json", ""}, Case{R"({"files": []})", ""}}) {
    RouteGameFolder game;
    if (c.record) WriteTestFile(game / L"qv-dlssg-route.json", c.record);
    EXPECT_EQ(RecordedProxyName(game.path()), c.proxy) << (c.record ? c.record : "(none)");
  }
}

TEST(FgRouteRecord, PackageManifest) {
  struct Case {
    const char* text;  // nullptr: no file
    const char* runtime;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const Case cases[] = {
      {nullptr, "", {}},
      {R"({"bundle": {"runtime_model": "rt"}, "files": [{"path": "a", "sha256": "b"}, {"path": 7}, "x", {}]})", "rt",
       {{"a", "b"}, {"7", ""}, {"", ""}, {"", ""}}},
      {R"({"bundle": "rt", "files": {"path": "a"}})", "", {}},
      {R"({"bundle": {"runtime_model": ["x"]}})", "", {}},
      {R"({"bundle": {"runtime_model": "rt"}} and more)", "", {}},
      {R"([{"bundle": {"runtime_model": "rt"}}])", "", {}},
      {"{\"bundle\": {\"runtime_model\": \"rt\"}, \"files\": [{\"path\": \"a\"}", "", {}},
  };
  for (const Case& c : cases) {
    qv::test::TempFolder work;
    if (c.text) WriteTestFile(work / L"manifest.json", c.text);
    const FgPackageManifest manifest = qv::setup::ReadFgPackageManifest(work.path());
    EXPECT_EQ(manifest.runtime, c.runtime) << (c.text ? c.text : "(none)");
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& entry : manifest.entries) entries.push_back({entry.path, entry.sha256});
    EXPECT_EQ(entries, c.entries) << (c.text ? c.text : "(none)");
  }
}

TEST(FgRouteRecord, ZipPathFromTheAddress) {
  qv::test::TempFolder work;
  struct Case {
    const char* address;  // nullptr: unset
    std::wstring name;    // empty: the work folder itself
  };
  const Case cases[] = {
      {nullptr, L"dlssg-release-0.4.0-x64.zip"},
      {"", L"dlssg-release-0.4.0-x64.zip"},
      {"https://example.test/releases/v0.5.0/other-package.zip", L"other-package.zip"},
      {"just-a-name.zip", L"just-a-name.zip"},
      {"https://example.test/releases/", L""},
      {"https://example.test/..", L""},
      {"https://example.test/a\\..\\..\\x.zip", L""},
      {"https://example.test/C:x.zip", L""},
      {"https://example.test/COM1", L""},
  };
  for (const Case& c : cases) {
    std::unique_ptr<qv::test::ScopedVariable> variable;
    if (c.address) variable = std::make_unique<qv::test::ScopedVariable>("QV_FG_TOOL_URL", c.address);
    EXPECT_EQ(qv::setup::FgToolZipPath(work.path()), c.name.empty() ? work.path() : work / c.name)
        << (c.address ? c.address : "(unset)");
  }
}

TEST(FgRouteRecord, ExpectedDigestFromTheThirdWord) {
  qv::test::TempFolder work;
  const std::string digest(64, 'c');
  struct Case {
    std::optional<std::string> note;
    std::string expected;
  };
  const Case cases[] = {{std::nullopt, std::string(64, '0')},
                        {"a b", std::string(64, '0')},
                        {"a b " + digest, digest},
                        {"a\nb\n" + digest + "\n", digest},
                        {"a b " + digest.substr(1), std::string(64, '0')},
                        {"a b " + digest + "c", std::string(64, '0')},
                        {"a b " + std::string(64, 'C'), std::string(64, 'C')}};
  for (const Case& c : cases) {
    fs::remove(work / L"tool-source.txt");
    if (c.note) WriteTestFile(work / L"tool-source.txt", *c.note);
    EXPECT_EQ(qv::setup::ExpectedFgZipDigest(work.path()), c.expected) << c.note.value_or("(none)");
  }
}

}  // namespace
