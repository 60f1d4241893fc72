// The uninstall entry, read back from the current user's registry.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"
#include "setup/uninstall-entry.h"
#include "support/temp-folder.h"
#include "update/build-identity.h"

namespace {

namespace fs = std::filesystem;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const std::wstring kKey(qv::setup::kUninstallKeyPath);

// A REG_SZ value, checked to be stored with its terminating NUL.
std::optional<std::wstring> Text(const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
  std::wstring value(size / sizeof(wchar_t), L'\0');
  ::RegGetValueW(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, value.data(), &size);
  EXPECT_TRUE(!value.empty() && value.back() == L'\0') << name;
  if (!value.empty()) value.pop_back();
  return value;
}

std::optional<DWORD> Number(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

struct UninstallEntry : ::testing::Test {
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
  TempFolder temp{L"qv-entry"};
};

TEST_F(UninstallEntry, DescribesTheInstallation) {
  const fs::path install = temp / L"Q.V. \u00e9dition";
  WriteTestFile(install / L"qv.exe", std::string(3000, 'q'));
  WriteTestFile(install / L"sub" / L"not counted.bin", std::string(100000, 's'));
  qv::setup::WriteUninstallEntry(install);

  const std::wstring folder = install.native();
  const std::wstring updater = L"\"" + folder + L"\\qv-updater.exe\"";
  EXPECT_EQ(Text(L"DisplayName"), L"Q.V. DU Vora");
  EXPECT_EQ(Text(L"DisplayVersion"), std::wstring(L"1.1.0"));
  EXPECT_EQ(std::string(qv::update::CurrentVersion()), "1.1.0");
  EXPECT_EQ(Text(L"Publisher"), L"Q.V. DU Vora");
  EXPECT_EQ(Text(L"InstallLocation"), folder);
  EXPECT_EQ(Text(L"DisplayIcon"), folder + L"\\qv.exe,0");
  EXPECT_EQ(Text(L"UninstallString"), updater + L" --uninstall \"" + folder + L"\"");
  EXPECT_EQ(Text(L"QuietUninstallString"), updater + L" --uninstall --silent \"" + folder + L"\"");
  EXPECT_EQ(Number(L"NoModify"), 1u);
  EXPECT_EQ(Number(L"NoRepair"), 1u);
  EXPECT_EQ(Number(L"EstimatedSize"), 2u);  // 3000 bytes at the top level
}

TEST_F(UninstallEntry, FolderWithoutBlanksStaysUnquotedAndEveryFormIsNormalised) {
  const fs::path install = temp / L"Games" / L"QV";
  fs::create_directories(install);
  wchar_t previous[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(temp.path().c_str()));
  const bool blank_in_temp = temp.path().native().find(L' ') != std::wstring::npos;
  for (const fs::path& given : {fs::path(L"Games\\QV\\"), fs::path(L".\\Games\\x\\..\\QV"), install / L""}) {
    qv::setup::WriteUninstallEntry(given);
    const std::wstring folder = install.native();
    EXPECT_EQ(Text(L"InstallLocation"), folder) << given.string();
    EXPECT_EQ(Text(L"DisplayIcon"), folder + L"\\qv.exe,0");
    if (!blank_in_temp) {
      EXPECT_EQ(Text(L"UninstallString"), folder + L"\\qv-updater.exe --uninstall " + folder);
      EXPECT_EQ(Text(L"QuietUninstallString"), folder + L"\\qv-updater.exe --uninstall --silent " + folder);
    }
  }
  ::SetCurrentDirectoryW(previous);
}

TEST_F(UninstallEntry, EstimatedSizeOnlyWithinItsRange) {
  const fs::path install = temp / L"QV";
  WriteTestFile(install / L"a.bin", std::string(5000, 'a'));
  qv::setup::WriteUninstallEntry(install);
  EXPECT_EQ(Number(L"EstimatedSize"), 4u);

  // 1023 bytes: too little to write, and the earlier installation's figure goes.
  WriteTestFile(install / L"a.bin", std::string(1023, 'a'));
  qv::setup::WriteUninstallEntry(install);
  EXPECT_EQ(Number(L"EstimatedSize"), std::nullopt);
  EXPECT_EQ(Text(L"DisplayName"), L"Q.V. DU Vora");

  WriteTestFile(install / L"b.bin", "b");
  qv::setup::WriteUninstallEntry(install);
  EXPECT_EQ(Number(L"EstimatedSize"), 1u);
}

TEST_F(UninstallEntry, ALaterInstallationOverwritesEveryValue) {
  WriteTestFile(temp / L"first" / L"a.bin", std::string(4096, 'a'));
  qv::setup::WriteUninstallEntry(temp / L"first");
  fs::create_directories(temp / L"second");
  qv::setup::WriteUninstallEntry(temp / L"second");
  EXPECT_EQ(Text(L"InstallLocation"), (temp / L"second").native());
  EXPECT_EQ(Number(L"EstimatedSize"), std::nullopt);
}

// After an update: the version and the size follow only in an entry that
// names the updated folder, however its text is written; another folder's
// entry, one without its location, and no entry at all stay as they were.
TEST_F(UninstallEntry, AnUpdateRefreshesOnlyTheEntryOfItsFolder) {
  const fs::path install = temp / L"Games" / L"QV";
  WriteTestFile(install / L"qv.exe", std::string(6000, 'q'));
  const struct {
    const char* what;
    std::optional<std::wstring> location;  // nullopt: the value deleted
    bool refreshed;
  } cases[] = {
      {"as written", install.native(), true},
      {"typed otherwise", (temp / L"GAMES" / L"x" / L".." / L"qv" / L"").native(), true},
      {"another folder", (temp / L"Games" / L"QV2").native(), false},
      {"no location", std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    qv::setup::WriteUninstallEntry(temp / L"Games");  // 0 bytes at its top: no size
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey.c_str(), L"InstallLocation"), ERROR_SUCCESS);
    if (c.location) {
      ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey.c_str(), L"InstallLocation", REG_SZ, c.location->c_str(),
                                  static_cast<DWORD>((c.location->size() + 1) * sizeof(wchar_t))),
                ERROR_SUCCESS);
    }
    qv::setup::RefreshUninstallEntry(install, "1.2.0");
    EXPECT_EQ(Text(L"DisplayVersion"), std::wstring(c.refreshed ? L"1.2.0" : L"1.1.0"));
    EXPECT_EQ(Number(L"EstimatedSize"), c.refreshed ? std::optional<DWORD>(5) : std::nullopt);
    EXPECT_EQ(Text(L"InstallLocation"), c.location);
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
  qv::setup::RefreshUninstallEntry(install, "1.2.0");
  EXPECT_EQ(Text(L"DisplayName"), std::nullopt);  // no entry is made
}

}  // namespace
