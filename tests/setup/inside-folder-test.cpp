#include "setup/inside-folder.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;

TEST(InsideFolder, ComparesTheFoldersAsTheFileSystemNamesThem) {
  qv::test::TempFolder temp{L"qv-inside"};
  const fs::path folder = temp / L"Games" / L"QV";
  qv::test::WriteTestFile(folder / L"qv-updater.exe", "x");
  qv::test::WriteTestFile(temp / L"Games" / L"QV2" / L"qv-updater.exe", "x");
  std::wstring upper = folder.native();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));

  struct Case {
    fs::path path;
    fs::path folder;
    bool inside;
  } cases[] = {
      {folder / L"qv-updater.exe", folder, true},
      {folder, folder, true},                               // the folder itself
      {folder / L"not there" / L"x.exe", folder, true},     // missing parts count lexically
      {fs::path(upper) / L"QV-UPDATER.EXE", folder, true},  // other letter case, either side
      {folder / L"qv-updater.exe", fs::path(upper), true},
      {folder.native() + L"\\", folder, true},
      {temp / L"Games" / L"QV2" / L"qv-updater.exe", folder, false},  // a name that only starts alike
      {folder / L".." / L"QV2" / L"qv-updater.exe", folder, false},
      {temp / L"Games", folder, false},                   // the parent
      {L"Q:\\Games\\QV\\qv-updater.exe", folder, false},  // another drive
      {folder / L"qv-updater.exe", fs::path(), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qv::setup::IsInsideFolder(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
}

}  // namespace
