#include "gamesource/title-folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "game-fixtures.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::ListedNames;
using qv::test::QarBytes;
using qv::test::TempFolder;
using qv::test::WriteGameArchives;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

std::vector<std::wstring> Names(const std::vector<fs::path>& paths) {
  std::vector<std::wstring> names;
  for (const fs::path& path : paths) names.push_back(path.filename().native());
  return names;
}

TEST(TitleFolders, TitleIdFromName) {
  struct Case {
    const char* name;
    const char* id;
  } cases[] = {
      {"cusa09901", "CUSA09901"},     {"CUSA09901_00", "CUSA09901"}, {"CUSA09901 copy 2", "CUSA09901"},
      {"abcd12345-old", "ABCD12345"}, {"CUSA09901.bak", "CUSA09901"}, {"CUSA099012", ""},
      {"CUSA09901a", ""},             {"CUSA0990", ""},              {"CUS409901", ""},
      {"CUSA0990A", ""},              {"", ""},                      {"CUSA09901\xC3\xA9", "CUSA09901"},
  };
  for (const Case& c : cases) EXPECT_EQ(TitleIdFromName(c.name), c.id) << c.name;
}

TEST(TitleFolders, HasGameArchivesUsesCanonicalNamesOnly) {
  TempFolder temp;
  auto folder = temp / L"CUSA09901";
  WriteGameArchives(folder, false);
  EXPECT_TRUE(HasGameArchives(folder));
  WriteTestFile(folder / L"texture.qar", QarBytes(35).substr(0, 35));
  EXPECT_FALSE(HasGameArchives(folder));
  fs::remove(folder / L"texture.qar");
  WriteTestFile(folder / L"tex_0.qar", QarBytes());
  EXPECT_FALSE(HasGameArchives(folder));
  fs::create_directories(folder / L"texture.qar");  // a folder in its place
  EXPECT_FALSE(HasGameArchives(folder));
  EXPECT_FALSE(HasGameArchives(temp / L"missing"));
}

TEST(TitleFolders, RankingByReleaseThenName) {
  TempFolder temp;
  // Windows names are case-insensitive: each name differs from the others in more than case.
  for (const wchar_t* name : {L"MyGame", L"abcd00002", L"CUSA09902", L"cusa09903", L"CUSA09901_00", L"ABCD00003",
                              L"ABCD00001", L"CUSA09901", L"sce_sys", L"sce_module", L"CUSA09902-old",
                              L"CUSA09903.bak"}) {
    fs::create_directories(temp / name);
  }
  WriteTestFile(temp / L"CUSA09904", "a file, not a folder");
  // Upper case sorts before lower case: ABCD00003 before abcd00002.
  std::vector<std::wstring> expected{L"CUSA09901", L"CUSA09901_00", L"CUSA09903.bak", L"cusa09903",
                                     L"CUSA09902", L"CUSA09902-old", L"ABCD00001",    L"ABCD00003",
                                     L"abcd00002", L"MyGame"};
  EXPECT_EQ(Names(SearchTitleFolders(temp.path(), 64)), expected);
}

TEST(TitleFolders, OnlyExactSceNamesAreLeftOut) {
  TempFolder temp;
  fs::create_directories(temp / L"SCE_SYS");
  fs::create_directories(temp / L"Sce_Module");
  std::vector<std::wstring> found = Names(SearchTitleFolders(temp.path(), 64));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::wstring>{L"SCE_SYS", L"Sce_Module"}));
}

TEST(TitleFolders, LimitAppliesInListingOrderBeforeRanking) {
  TempFolder temp;
  for (int i = 0; i < 70; ++i) fs::create_directories(temp / (L"folder" + std::to_wstring(i)));
  std::vector<std::wstring> listed = ListedNames(temp.path());
  ASSERT_EQ(listed.size(), 70u);
  std::vector<std::wstring> first(listed.begin(), listed.begin() + 64);
  std::vector<std::wstring> found = Names(SearchTitleFolders(temp.path(), kTitleFolderSearchLimit));
  std::sort(first.begin(), first.end());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, first);
  EXPECT_TRUE(SearchTitleFolders(temp / L"missing", 64).empty());
}

TEST(TitleFolders, FindTitleFolder) {
  struct Case {
    const char* name;
    std::vector<std::wstring> valid;    // folders with both archives
    std::vector<std::wstring> invalid;  // folders with a short texture archive
    std::string expected;
  } cases[] = {
      {"default", {L"CUSA09901", L"CUSA09903"}, {}, "CUSA09901"},
      {"lower case kept", {L"cusa09903"}, {}, "cusa09903"},
      {"Europe before Japan", {L"CUSA09902", L"CUSA09903"}, {}, "CUSA09903"},
      {"broken default", {L"CUSA09901_00"}, {L"CUSA09901"}, "CUSA09901_00"},
      {"unlisted identifier", {L"ABCD12345 (backup)"}, {}, "ABCD12345 (backup)"},
      {"no identifier in the name", {L"MyGame"}, {}, ""},
      {"nothing valid", {}, {L"CUSA09901", L"CUSA09903"}, ""},
      {"non-ASCII suffix", {L"CUSA09903 \u00e9t\u00e9"}, {}, "CUSA09903 \xC3\xA9t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    for (const auto& name : c.valid) WriteGameArchives(temp / name, false);
    for (const auto& name : c.invalid) {
      WriteGameArchives(temp / name, false);
      WriteTestFile(temp / name / L"texture.qar", "short");
    }
    EXPECT_EQ(FindTitleFolder(temp.path()), c.expected) << c.name;
  }
}

}  // namespace
