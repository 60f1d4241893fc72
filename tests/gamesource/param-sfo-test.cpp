#include "gamesource/param-sfo.h"

#include <gtest/gtest.h>

#include <string>

#include "game-fixtures.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::MultiEntryParamSfo;
using qv::test::PutLittleEndian;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

constexpr const char* kContent = "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT";

TEST(ParamSfo, FindsValuesCutAtTheirFirstNul) {
  std::string sfo = BuildTestParamSfo("CUSA09903", kContent);
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_ID"), "CUSA09903");  // 9 characters, NUL padded
  EXPECT_EQ(ParseParamSfoValue(sfo, "CONTENT_ID"), kContent);
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE"), "");     // a prefix of a key is not the key
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_IDX"), "");
  // One entry only: TITLE_ID at data offset 0.
  std::string title_only = BuildTestParamSfo("CUSA09901", "");
  EXPECT_EQ(ParseParamSfoValue(title_only, "TITLE_ID"), "CUSA09901");
  EXPECT_EQ(ParseParamSfoValue(title_only, "CONTENT_ID"), "");
}

TEST(ParamSfo, DataLengthRules) {
  std::string sfo = BuildTestParamSfo("CUSA09901", "");
  const size_t length_field = 0x14 + 4;
  PutLittleEndian(sfo, length_field, 0, 4);
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_ID"), "");  // zero length
  PutLittleEndian(sfo, length_field, 4, 4);
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_ID"), "CUSA");  // no NUL: all data-length bytes
  // A value that runs exactly to the end of the file is still read.
  std::string tail = BuildTestParamSfo("CUSA09901", "");
  tail.resize(48 + 9);  // the data table starts at 48: keep the 9 characters of the slot
  PutLittleEndian(tail, length_field, 9, 4);
  EXPECT_EQ(ParseParamSfoValue(tail, "TITLE_ID"), "CUSA09901");
  PutLittleEndian(tail, length_field, 10, 4);
  EXPECT_EQ(ParseParamSfoValue(tail, "TITLE_ID"), "");  // one past the end
}

TEST(ParamSfo, OnlyTheFirst512EntriesAreExamined) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < 600; ++i) {
    std::string number = std::to_string(i);
    pairs.emplace_back(std::string("K").append(number), std::string("v").append(number));
  }
  pairs[511] = {"LAST_SEEN", "yes"};
  pairs[550] = {"TITLE_ID", "CUSA09901"};
  std::string sfo = MultiEntryParamSfo(pairs);
  EXPECT_EQ(ParseParamSfoValue(sfo, "LAST_SEEN"), "yes");
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_ID"), "");
}

TEST(ParamSfo, BadKeyOffsetSkipsOnlyThatEntry) {
  std::string sfo = MultiEntryParamSfo({{"TITLE_ID", "CUSA00001"}, {"TITLE_ID", "CUSA09902"}});
  PutLittleEndian(sfo, 0x14, 0xFFFF, 2);  // the first entry's key lies past the end
  EXPECT_EQ(ParseParamSfoValue(sfo, "TITLE_ID"), "CUSA09902");
  std::string first_wins = MultiEntryParamSfo({{"TITLE_ID", "CUSA00001"}, {"TITLE_ID", "CUSA09902"}});
  EXPECT_EQ(ParseParamSfoValue(first_wins, "TITLE_ID"), "CUSA00001");
}

TEST(ParamSfo, MalformedImagesGiveNothing) {
  std::string good = BuildTestParamSfo("CUSA09901", "");
  std::string bad_magic = good;
  bad_magic[1] = 'p';
  std::string zero_entries = good;
  PutLittleEndian(zero_entries, 0x10, 0, 4);
  std::string entry_cut = good.substr(0, 0x14 + 15);  // the index entry does not fit
  std::string huge_tables = good;
  PutLittleEndian(huge_tables, 0x08, 0xFFFFFFFFu, 4);
  PutLittleEndian(huge_tables, 0x0C, 0xFFFFFFFFu, 4);
  PutLittleEndian(huge_tables, 0x10, 0xFFFFFFFFu, 4);
  for (const std::string& bytes : {good.substr(0, 19), bad_magic, zero_entries, entry_cut, huge_tables,
                                   std::string()}) {
    EXPECT_EQ(ParseParamSfoValue(bytes, "TITLE_ID"), "");
  }
}

TEST(ParamSfo, ReadsFromTheFoldersSceSys) {
  TempFolder temp;
  auto folder = temp / L"Spiel \u00e9t\u00e9 \u30b2\u30fc\u30e0";
  WriteTestFile(folder / L"sce_sys" / L"param.sfo", BuildTestParamSfo("CUSA09902", ""));
  EXPECT_EQ(ReadParamSfoValue(folder, "TITLE_ID"), "CUSA09902");
  EXPECT_EQ(ReadParamSfoValue(temp / L"missing", "TITLE_ID"), "");
  // Larger than 1 MiB: refused whole.
  std::string big = BuildTestParamSfo("CUSA09902", "");
  big.resize(kParamSfoLimit + 1, '\0');
  WriteTestFile(folder / L"sce_sys" / L"param.sfo", big);
  EXPECT_EQ(ReadParamSfoValue(folder, "TITLE_ID"), "");
  big.resize(kParamSfoLimit);
  WriteTestFile(folder / L"sce_sys" / L"param.sfo", big);
  EXPECT_EQ(ReadParamSfoValue(folder, "TITLE_ID"), "CUSA09902");
  // A folder in place of the file.
  std::filesystem::remove(folder / L"sce_sys" / L"param.sfo");
  std::filesystem::create_directories(folder / L"sce_sys" / L"param.sfo");
  EXPECT_EQ(ReadParamSfoValue(folder, "TITLE_ID"), "");
}

TEST(Region, FromContentOrTitleIdentifier) {
  struct Case {
    const char* title;
    const char* content;
    const char* region;
  } cases[] = {
      {"", "EP0000-CUSA09903_00-XXXXXXXXXXXXXXXX", "Europe"},
      {"CUSA09901", "EP0000-CUSA09903_00-XXXXXXXXXXXXXXXX", "Europe"},  // the content identifier decides
      {"", "HP4511-CUSA09999_00-PPPPPPPPTTTTTTTT", "Asia"},
      {"", "JP0000-x", "Japan"},
      {"", "KP0000-", "Korea"},
      {"", "UP0000-", "US"},
      {"CUSA09902", "IP0000-CUSA09902_00-XXXXXXXXXXXXXXXX", "Japan"},  // unknown first byte
      {"CUSA09901", "", "US"},
      {"CUSA09903", "", "Europe"},
      {"CUSA09902", "", "Japan"},
      {"", "", "unknown"},
      {"CUSA12345", "U-CUSA12345", "unknown"},  // second byte not 'P'
      {"", "EP0000", "unknown"},                // too short
      {"cusa09901", "", "unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegionFromContentId(c.title, c.content), c.region) << c.title << " / " << c.content;
  }
}

}  // namespace
