#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/records/files-json.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::PayloadEntry;
using qv::setup::ReadFilesJson;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const std::string kDigest = "7b9eb545291cc0f269ecf90837670ff421acb7593654a9897077c12a21247fb9";

std::string Item(const std::string& path, const std::string& size = "1", const std::string& sha = "\"" + kDigest + "\"") {
  return "{\"path\": " + path + ", \"size\": " + size + ", \"sha256\": " + sha + "}";
}

std::string List(const std::vector<std::string>& items) {
  std::string text = "{\n \"format\": 1,\n \"files\": [";
  for (size_t i = 0; i < items.size(); ++i) text += (i ? ",\n  " : "\n  ") + items[i];
  return text + "\n ]\n}\n";
}

std::vector<PayloadEntry> ReadText(const std::string& text) {
  TempFolder temp;
  WriteTestFile(temp / L"qv-files.json", text);
  return ReadFilesJson(temp / L"qv-files.json");
}

TEST(FilesJson, ReadsEntriesInOrder) {
  auto entries = ReadText(List({Item("\"qv.exe\"", "48213504"), Item("\"shaders/caf\\u00e9.bin\"", "\"12\""),
                                Item("\"qv.exe\"", "true"), Item("\"fonts/a b.ttf\"", "0", "\"" + std::string(64, 'X') + "\"")}));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "qv.exe");
  EXPECT_EQ(entries[0].size, 48213504u);
  EXPECT_EQ(entries[0].sha256, kDigest);
  EXPECT_EQ(entries[1].name, "shaders/caf\xC3\xA9.bin");
  EXPECT_EQ(entries[1].size, 12u);  // digits in a string still count
  EXPECT_EQ(entries[2].name, "qv.exe");  // duplicates stay
  EXPECT_EQ(entries[2].size, 0u);        // not a number
  EXPECT_EQ(entries[3].sha256, std::string(64, 'X'));  // neither case nor kind is examined here
}

TEST(FilesJson, SizesReadAsDecimalNumbers) {
  struct Case {
    std::string size;
    std::uint64_t expected;
  } cases[] = {
      {"0", 0},        {"18446744073709551615", 18446744073709551615u},
      {"12abc", 12},   {"\"7\"", 7},
      {"-5", 0},       {"1e3", 1},
      {"null", 0},     {"\"\"", 0},
      {"99999999999999999999", 0},  // out of range
      {"[]", 0},       {"{}", 0},
  };
  for (const auto& c : cases) {
    auto entries = ReadText(List({Item("\"a\"", c.size)}));
    ASSERT_EQ(entries.size(), 1u) << c.size;
    EXPECT_EQ(entries[0].size, c.expected) << c.size;
  }
}

TEST(FilesJson, AnyBadItemEmptiesTheWholeList) {
  const std::string good = Item("\"a\"");
  const std::string cases[] = {
      Item("\"a\"", "1", "\"" + kDigest.substr(1) + "\""),      // 63 characters
      Item("\"a\"", "1", "\"" + kDigest + "0\""),               // 65 characters
      Item("\"../a\""), Item("\"a/../../b\""), Item("\"C:/x\""), Item("\"C:x\""), Item("\"/x\""),
      Item("\"\\\\\\\\server\\\\share\\\\x\""), Item("\"qv.exe:stream\""), Item("\"./a\""), Item("\"\""), Item("\"a/\""),
      Item("\"bad\xFFutf8\""),
      Item("1"),                                                 // path not a string
      Item("[\"a\"]"),
      "{\"size\": 1, \"sha256\": \"" + kDigest + "\"}",           // no path
      "{\"path\": \"a\", \"sha256\": \"" + kDigest + "\"}",       // no size
      "{\"path\": \"a\", \"size\": 1}",                            // no sha256
      "\"a\"",                                                     // not an object
  };
  for (const std::string& bad : cases) {
    EXPECT_TRUE(ReadText(List({good, good, good, good, bad, good})).empty()) << bad;
  }
  EXPECT_EQ(ReadText(List({good, good, good, good, good, good})).size(), 6u);
}

TEST(FilesJson, DocumentLevelFailuresGiveAnEmptyList) {
  const std::string valid = List({Item("\"a\"")});
  const std::string cases[] = {
      "[" + Item("\"a\"") + "]",                 // root is an array
      valid + "x",                               // text after the closing brace
      "\xEF\xBB\xBF" + valid,                    // byte order mark
      "{\"format\": 1}",                         // no files
      "{\"files\": {\"a\": " + Item("\"a\"") + "}}",  // files not an array
      "{\"files\": \"a\"}",
      valid.substr(0, valid.size() - 4),          // cut short
      "",
  };
  for (const std::string& text : cases) {
    EXPECT_TRUE(ReadText(text).empty()) << text;
  }
  EXPECT_EQ(ReadText(valid + " \r\n\t").size(), 1u);
  EXPECT_EQ(ReadText("{\"files\": []}").size(), 0u);
}

TEST(FilesJson, MissingFileOrFolderGivesAnEmptyList) {
  TempFolder temp;
  EXPECT_TRUE(ReadFilesJson(temp / L"qv-files.json").empty());
  fs::create_directory(temp / L"qv-files.json");
  EXPECT_TRUE(ReadFilesJson(temp / L"qv-files.json").empty());
}

TEST(FilesJson, SizeLimitIsSixteenMebibytes) {
  std::string text = List({Item("\"a\"")});
  text.resize(qv::setup::kFilesJsonMaxBytes, ' ');  // white space after the object is fine
  ASSERT_EQ(text.size(), 16u * 1024 * 1024);
  EXPECT_EQ(ReadText(text).size(), 1u);
  text.push_back(' ');
  EXPECT_TRUE(ReadText(text).empty());
}

}  // namespace
