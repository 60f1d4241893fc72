#include "selftest/input-format-checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/icon-self-test.h"
#include "selftest/self-test-archives.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ReadFileText;
using qv::setup::WriteFixtureFile;

TEST(InputFormatChecks, PassWithNoTokenAndLeaveTheirMaterial) {
  qv::test::TempFolder root{L"qv-input-formats"};
  EXPECT_EQ(qv::setup::SelfTestInputFormats(root.path()), "");

  // Each check changed the dump folder as its turn came.
  const fs::path dump = root / L"dump" / L"CUSA09901-app";
  EXPECT_FALSE(fs::exists(dump / L"chunk1.psarc"));
  EXPECT_EQ(ReadFileText(dump / L"data_ps4.psarc"), std::string(64, 'Z'));
  EXPECT_EQ(ReadFileText(dump / L"texture.qar"), qv::setup::SelfTestTextureArchive());
  EXPECT_EQ(ReadFileText(dump / L"pathid_list_ps4.bin"), qv::setup::SelfTestPathIdList());
  EXPECT_EQ(ReadFileText(dump / L"other_list.bin"), "/Assets/other/level/" + std::string(40, 'x'));
  EXPECT_EQ(ReadFileText(root / L"icon" / L"dump" / L"sce_sys" / L"pic1.png"), std::string("\x89PNG\r\n\x1A\n", 8));
  EXPECT_FALSE(fs::exists(root / L"icon" / L"missing"));
}

TEST(InputFormatChecks, MaterialIsExact) {
  EXPECT_EQ(qv::setup::SelfTestChunkArchive(), std::string("PSAR") + std::string(60, '\0'));
  std::string texture(64, '\0');
  texture[50] = 'a';
  texture[51] = 'q';
  EXPECT_EQ(qv::setup::SelfTestTextureArchive(), texture);
  EXPECT_EQ(qv::setup::SelfTestPathIdList().size(), 70u);
  EXPECT_TRUE(qv::setup::SelfTestPathIdList().starts_with("/Assets/xq/level/qv14_hallway/xxx"));
}

// Material that a folder already held makes the checks see something other
// than what they wrote: each such case shows its tokens, in run order, and the
// checks after a failed one still run.
TEST(InputFormatChecks, TokensOfWhatTheChecksDidNotExpect) {
  const struct {
    const char* what;
    std::vector<std::pair<fs::path, std::string>> placed;
    std::string tokens;
  } cases[] = {
      {"another game folder one level down is found first",
       {{L"aaa/chunk1.psarc", qv::setup::PsarcBytes()},
        {L"aaa/texture.qar", qv::setup::QarBytes()},
        {L"aaa/pathid_list_ps4.bin", qv::setup::PathIdListBytes(true)}},
       " folder-not-found"},
      {"a param.sfo of the European release adds a note to both resolutions",
       {{L"dump/CUSA09901-app/sce_sys/param.sfo", qv::setup::BuildTestParamSfo("CUSA09903", "")}},
       " folder-not-found renamed-not-found"},
      {"a larger archive with the magic is taken instead of the renamed one, and after it is gone",
       {{L"dump/CUSA09901-app/other.psarc", qv::setup::PsarcBytes(100)}},
       " renamed-not-found encrypted-accepted"},
      {"pictures where the source is missing",
       {{L"icon/missing/sce_sys/pic1.png", std::string("\x89PNG\r\n\x1A\n", 8)},
        {L"icon/missing/sce_sys/icon0.png", std::string("\x89PNG\r\n\x1A\n", 8)}},
       " missing-title-picture missing-icon"},
  };
  for (const auto& c : cases) {
    qv::test::TempFolder root{L"qv-input-formats"};
    for (const auto& [relative, bytes] : c.placed) WriteFixtureFile(root / relative, bytes);
    EXPECT_EQ(qv::setup::SelfTestInputFormats(root.path()), c.tokens) << c.what;
  }
}

TEST(IconSelfTest, PassesWithNoTokenInANewFolder) {
  qv::test::TempFolder temp{L"qv-icons"};
  EXPECT_EQ(qv::setup::SelfTestIcons(temp / L"icon"), "");
  EXPECT_EQ(ReadFileText(temp / L"icon" / L"dump" / L"sce_sys" / L"icon0.png"), "not a png file");
  EXPECT_TRUE(fs::is_regular_file(temp / L"icon" / L"game.pkg"));
}

}  // namespace
