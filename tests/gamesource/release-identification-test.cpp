#include "gamesource/release-identification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game-fixtures.h"
#include "gamesource/known-titles.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::PathIdListBytes;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const std::string kRegionTail =
    " release; the port is tested with the US release CUSA09901 (other releases are expected to hold the same "
    "data; the game logs at its start what differs)";
const std::string kUnconfirmed =
    "no path list and no title ID: could not confirm this is Q.V.; installed because it has the Brask Engine "
    "archive pair";
const std::string kMissingList =
    "pathid_list_ps4.bin is missing: enhanced textures cannot be generated; the game runs without it";

TEST(KnownTitles, TableOrderAndLookup) {
  EXPECT_EQ(KnownTitleIds(), (std::vector<std::string>{"CUSA09901", "CUSA09903", "CUSA09902"}));
  EXPECT_EQ(DefaultTitleId, "CUSA09901");
  EXPECT_TRUE(IsListedTitle("CUSA09902"));
  EXPECT_FALSE(IsListedTitle("cusa09901"));
  EXPECT_FALSE(IsListedTitle("CUSA0990"));
  EXPECT_FALSE(IsListedTitle("CUSA099011"));
}

TEST(IdentifyRelease, DecisionTable) {
  TempFolder temp;
  const auto levels = temp / L"levels.bin";
  const auto other = temp / L"other.bin";
  WriteTestFile(levels, PathIdListBytes(true));
  WriteTestFile(other, PathIdListBytes(false));

  struct Case {
    const char* title;
    const char* content;
    std::filesystem::path list;
    bool accepted;
    std::vector<std::string> notes;
  } cases[] = {
      {"CUSA09901", "", levels, true, {}},
      {"CUSA09901", "", {}, true, {kMissingList}},
      {"CUSA09901", "", other, true, {}},  // a listed title needs no levels
      {"CUSA09903", "", levels, true, {"CUSA09903 is the Europe" + kRegionTail}},
      {"CUSA09902", "", levels, true, {"CUSA09902 is listed as the Japan" + kRegionTail}},
      // The region's name comes from the content identifier when it has the console's form.
      {"CUSA09903", "HP4511-CUSA09903_00-PPPPPPPPTTTTTTTT", {}, true,
       {"CUSA09903 is the Asia" + kRegionTail, kMissingList}},
      {"CUSA12345", "", levels, true,
       {"title ID CUSA12345 is not a known Q.V. release; installed because its archives are Q.V.'s"}},
      {"cusa09901", "", levels, true,
       {"title ID cusa09901 is not a known Q.V. release; installed because its archives are Q.V.'s"}},
      {"CUSA12345", "", other, false, {}},
      {"CUSA12345", "", {}, false, {}},
      {"", "", levels, true, {}},
      {"", "", other, false, {}},
      {"", "", {}, true, {kUnconfirmed, kMissingList}},
  };
  for (const Case& c : cases) {
    GameFiles files;
    files.title_id = c.title;
    files.content_id = c.content;
    files.path_id_list = c.list;
    files.notes = {"earlier note"};
    std::vector<std::string> expected{"earlier note"};
    if (c.accepted) expected.insert(expected.end(), c.notes.begin(), c.notes.end());
    EXPECT_EQ(IdentifyRelease(files), c.accepted) << c.title << " " << c.list;
    EXPECT_EQ(files.notes, expected) << c.title << " " << c.list;
  }
}

TEST(IdentifyRelease, LevelMarkerRules) {
  TempFolder temp;
  struct Case {
    std::string content;
    bool levels;
  } cases[] = {
      {"qv14", false},                                       // 4 bytes never show levels
      {"qv14_", true},                                       // exactly the marker
      {std::string(100, 'x') + "qv14_", true},               // at the very end
      {std::string("a\0b", 3) + "qv14_x", true},             // binary content
      {"QV14_", false},                                      // case matters
      {std::string((4u << 20) - 2, 'x') + "qv14_", true},    // across the 4 MiB piece boundary
  };
  for (const Case& c : cases) {
    auto list = temp / L"list.bin";
    WriteTestFile(list, c.content);
    EXPECT_EQ(PathIdListShowsLevels(list), c.levels) << c.content.size();
  }
  EXPECT_FALSE(PathIdListShowsLevels(temp / L"missing.bin"));
  // An unreadable list counts as one without levels: a listed title is still accepted.
  GameFiles files;
  files.title_id = "CUSA09901";
  files.path_id_list = temp / L"missing.bin";
  EXPECT_TRUE(IdentifyRelease(files));
  EXPECT_TRUE(files.notes.empty());
}

}  // namespace
