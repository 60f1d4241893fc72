#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/json.h"
#include "routes/route-record-values.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::JsonQuoted;
using qv::setup::JsonStringMember;
using qv::setup::ReadRouteFileFacts;
using qv::setup::RouteFileFacts;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

// SHA-256 of "abc".
constexpr const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(RouteRecordValues, JsonStringMemberTakesStringsAndBareTokensOnly) {
  const auto document = qv::setup::ParseJsonDocument(
      R"({"s": "a\"b\\c", "n": 42, "t": true, "z": null, "o": {"x": "y"}, "a": ["x"], "e": [], "empty": ""})");
  ASSERT_TRUE(document);
  struct Case {
    const char* key;
    std::string text;
  };
  for (const Case& c : {Case{"s", "a\"b\\c"}, Case{"n", "42"}, Case{"t", "true"}, Case{"z", "null"}, Case{"o", ""},
                        Case{"a", ""}, Case{"e", ""}, Case{"empty", ""}, Case{"missing", ""}, Case{"S", ""}}) {
    EXPECT_EQ(JsonStringMember(*document, c.key), c.text) << c.key;
  }
  qv::setup::JsonValue not_an_object;
  not_an_object.text = "42";
  EXPECT_EQ(JsonStringMember(not_an_object, "s"), "");
}

TEST(RouteRecordValues, QuotedValuesReadBackUnchanged) {
  const std::string texts[] = {"", "plain", "quote \" backslash \\ slash /", "line\nfeed\r\ttab\b\f",
                               std::string("nul \0 and \x1f", 12), "caf\xC3\xA9 \xE4\xB8\xAD"};
  for (const std::string& text : texts) {
    const std::string quoted = JsonQuoted(text);
    const auto document = qv::setup::ParseJsonDocument("{\"v\": " + quoted + "}");
    ASSERT_TRUE(document) << quoted;
    EXPECT_EQ(JsonStringMember(*document, "v"), text) << quoted;
    for (const char c : quoted) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << quoted;
  }
  EXPECT_EQ(JsonQuoted("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

TEST(RouteRecordValues, NamesInsideTheGameFolder) {
  struct Case {
    std::string name;
    bool inside;
  };
  for (const Case& c : {Case{"version.dll", true}, Case{"dlssg_sm86/x.dll", true}, Case{"dlssg_sm86/", true},
                        Case{"dlssg_sm86\\runtime\\x.dll", true}, Case{"", false}, Case{"/", false},
                        Case{"dlssg_sm86/../x", false}, Case{"..\\x.dll", false}, Case{"./x", false},
                        Case{"C:\\x.dll", false}, Case{"C:x", false}, Case{"\\x.dll", false},
                        Case{"\\\\.\\pipe\\x", false}, Case{"COM1", false}, Case{"dlssg_sm86/nul.txt", false},
                        Case{"x.dll:stream", false}, Case{"dlssg_sm86//x", true}, Case{"bad \xFF utf-8", false}}) {
    EXPECT_EQ(qv::setup::IsRouteFileNameInside(c.name), c.inside) << c.name;
  }
}

TEST(RouteRecordValues, FactsOfRegularFilesOnly) {
  TempFolder game;
  WriteTestFile(game / L"version.dll", "abc");
  WriteTestFile(game / L"dlssg_sm86" / L"x.dll", "abc");
  WriteTestFile(game / L"linked.dll", "abc");
  WriteTestFile(game / L"placeholder.dll", "abc");
  WriteTestFile(game.path().parent_path() / L"outside.dll", "abc");
  const auto view = qv::test::ViewWithReparsePoints({{game / L"linked.dll", qv::setup::kReparseTagSymlink},
                                                     {game / L"placeholder.dll", 0x9000001A}});
  struct Case {
    std::string name;
    std::uint64_t size;
    std::string digest;
  };
  for (const Case& c : {Case{"version.dll", 3, kAbcDigest}, Case{"dlssg_sm86/x.dll", 3, kAbcDigest},
                        Case{"dlssg_sm86\\x.dll", 3, kAbcDigest}, Case{"dlssg_sm86/", 0, ""},
                        Case{"dlssg_sm86", 0, ""}, Case{"missing.dll", 0, ""}, Case{"linked.dll", 0, ""},
                        Case{"placeholder.dll", 3, kAbcDigest},
                        Case{"../" + game.path().parent_path().filename().string() + "/outside.dll", 0, ""},
                        Case{"..\\outside.dll", 0, ""}, Case{"NUL", 0, ""}}) {
    const RouteFileFacts facts = ReadRouteFileFacts(game.path(), c.name, qv::setup::HashFile, view);
    EXPECT_EQ(facts.size, c.size) << c.name;
    EXPECT_EQ(facts.sha256, c.digest) << c.name;
  }
}

TEST(RouteRecordValues, AFileThatCannotBeHashedKeepsItsSizeAndNoDigest) {
  TempFolder game;
  WriteTestFile(game / L"version.dll", "12345");
  const RouteFileFacts facts = ReadRouteFileFacts(
      game.path(), "version.dll", [](const fs::path&) -> std::string { throw std::runtime_error("locked"); });
  EXPECT_EQ(facts.size, 5u);
  EXPECT_EQ(facts.sha256, "");
}

TEST(RouteRecordValues, AFileTheListingCannotNameHasAnUnreadableSize) {
  TempFolder game;
  WriteTestFile(game / L"version.dll", "abc");
  qv::setup::FileSystemView view = qv::setup::SystemView();
  view.find_item = [](const fs::path&) { return std::optional<qv::setup::ItemInfo>(); };
  const RouteFileFacts facts = ReadRouteFileFacts(game.path(), "version.dll", qv::setup::HashFile, view);
  EXPECT_EQ(facts.size, 18446744073709551615ull);
  EXPECT_EQ(facts.sha256, kAbcDigest);
}

TEST(RouteRecordValues, EntryLineLayout) {
  EXPECT_EQ(qv::setup::RouteFileEntryLine("dlssg_sm86/a \"b\".dll", RouteFileFacts{12, "ab"}),
            R"(    {"name": "dlssg_sm86/a \"b\".dll", "size": 12, "sha256": "ab"})");
  EXPECT_EQ(qv::setup::RouteFileEntryLine("x", RouteFileFacts{qv::setup::kUnreadableRouteFileSize, ""}),
            R"(    {"name": "x", "size": 18446744073709551615, "sha256": ""})");
}

}  // namespace
