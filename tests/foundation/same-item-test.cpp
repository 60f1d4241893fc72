#include "foundation/files/same-item.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;

TEST(SameItem, OneObjectUnderEverySpellingAndNothingElse) {
  qv::test::TempFolder temp{L"qv-same-item"};
  const fs::path folder = temp / L"Games" / L"QV";
  qv::test::WriteTestFile(folder / L"qv.exe", "x");
  qv::test::WriteTestFile(temp / L"Games" / L"QV2" / L"qv.exe", "x");
  std::wstring upper = folder.native();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));

  EXPECT_TRUE(qv::setup::IsSameItem(folder, folder));
  EXPECT_TRUE(qv::setup::IsSameItem(folder, fs::path(upper)));
  EXPECT_TRUE(qv::setup::IsSameItem(folder, folder / L".." / L"QV" / L""));
  EXPECT_TRUE(qv::setup::IsSameItem(folder / L"qv.exe", fs::path(upper) / L"QV.EXE"));
  EXPECT_FALSE(qv::setup::IsSameItem(folder, temp / L"Games" / L"QV2"));
  EXPECT_FALSE(qv::setup::IsSameItem(folder / L"qv.exe", temp / L"Games" / L"QV2" / L"qv.exe"));
  EXPECT_FALSE(qv::setup::IsSameItem(folder, folder / L"qv.exe"));
  EXPECT_FALSE(qv::setup::IsSameItem(folder / L"missing", folder / L"missing"));
  EXPECT_FALSE(qv::setup::IsSameItem(fs::path(), fs::path()));
}

}  // namespace
