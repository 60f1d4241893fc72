#include "foundation/files/stored-names.h"

#include <gtest/gtest.h>

#include <string>

#include "support/short-names.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;

TEST(IsStoredAsNamed, EveryExistingElementByItsOwnName) {
  qv::test::TempFolder temp{L"qv-stored-names"};
  const fs::path root = temp.path();
  qv::test::WriteTestFile(root / L"CUSA09901" / L"chunk1.psarc", "the player's archive");
  qv::test::WriteTestFile(root / L"shaders_compiled" / L"x.spv", "shader");
  qv::test::WriteTestFile(root / L"data" / L"qv.ini", "settings");
  const std::string title = qv::test::ShortNameOf(root / L"CUSA09901");
  const std::string archive = qv::test::ShortNameOf(root / L"CUSA09901" / L"chunk1.psarc");
  const std::string shaders = qv::test::ShortNameOf(root / L"shaders_compiled");
  ASSERT_FALSE(title.empty() || archive.empty() || shaders.empty());

  struct Case {
    std::string path;
    bool as_named;
    std::string stored;  // what the path reaches, when it is not as named
  } cases[] = {
      {"CUSA09901/chunk1.psarc", true, ""},
      {"cusa09901\\CHUNK1.PSARC", true, ""},
      {"CUSA09901//chunk1.psarc", true, ""},
      {"shaders_compiled/new/y.spv", true, ""},
      {"new/folder/z.dll", true, ""},
      {"CUSA09901/chunk1.psarc/below", true, ""},  // nothing can lie below a file
      {title + "/chunk1.psarc", false, "CUSA09901/chunk1.psarc"},
      {title, false, "CUSA09901"},
      {"CUSA09901/" + archive, false, "CUSA09901/chunk1.psarc"},
      {shaders + "/x.spv", false, "shaders_compiled/x.spv"},
      {shaders + "/new/y.spv", false, "shaders_compiled/new/y.spv"},
      {"data./qv.ini", false, "data/qv.ini"},
      {"CUSA0990?/chunk1.psarc", false, "CUSA0990?/chunk1.psarc"},
      {"sha*/x.spv", false, "sha*/x.spv"},
      {"CUSA09901/../data/qv.ini", false, "CUSA09901/../data/qv.ini"},
      {"./qv.ini", false, "./qv.ini"},
      {"\xff/x", false, ""},
  };
  for (const Case& c : cases) {
    std::string stored;
    EXPECT_EQ(qv::setup::IsStoredAsNamed(root, c.path, &stored), c.as_named) << c.path;
    EXPECT_EQ(stored, c.stored) << c.path;
  }
  EXPECT_TRUE(qv::setup::IsStoredAsNamed(root / L"missing", title + "/x"));
}

}  // namespace
