// The desktop shortcut, read back through the shell's own link object.

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/win/com-apartment.h"
#include "foundation/win/unique-handle.h"
#include "setup/desktop-shortcut.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UniqueCom;

struct LinkProperties {
  std::wstring target;
  std::wstring folder;
  std::wstring description;
  std::wstring icon;
  int icon_index = -1;
};

LinkProperties ReadLink(const fs::path& file) {
  qv::setup::ComApartment apartment;
  LinkProperties properties;
  UniqueCom<IShellLinkW> link;
  UniqueCom<IPersistFile> persist;
  EXPECT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(link.put()))));
  if (!link) return properties;
  EXPECT_TRUE(SUCCEEDED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))));
  if (!persist) return properties;
  EXPECT_TRUE(SUCCEEDED(persist.get()->Load(file.c_str(), STGM_READ)));
  wchar_t text[MAX_PATH * 2] = {};
  link.get()->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
  properties.target = text;
  link.get()->GetWorkingDirectory(text, MAX_PATH * 2);
  properties.folder = text;
  link.get()->GetDescription(text, MAX_PATH * 2);
  properties.description = text;
  link.get()->GetIconLocation(text, MAX_PATH * 2, &properties.icon_index);
  properties.icon = text;
  return properties;
}

struct DesktopShortcut : ::testing::Test {
  void SetUp() override {
    auto path = qv::setup::DesktopShortcutPath();
    ASSERT_TRUE(path.has_value());
    shortcut = *path;
    ::DeleteFileW(shortcut.c_str());
  }
  void TearDown() override { ::DeleteFileW(shortcut.c_str()); }
  fs::path shortcut;
};

TEST_F(DesktopShortcut, PointsAtTheGameWithItsIcon) {
  EXPECT_EQ(shortcut.filename(), L"Q.V. DU Vora.lnk");
  qv::test::TempFolder temp{L"qv-shortcut"};
  const fs::path install = temp / L"Games" / L"Q.V. \u00e9dition";
  qv::setup::CreateDesktopShortcut(install);

  const LinkProperties link = ReadLink(shortcut);
  EXPECT_EQ(link.target, (install / L"qv.exe").native());
  EXPECT_EQ(link.folder, install.native());
  EXPECT_EQ(link.description, L"Q.V. DU Vora");
  EXPECT_EQ(link.icon, (install / L"qv.exe").native());
  EXPECT_EQ(link.icon_index, 0);
}

TEST_F(DesktopShortcut, ASecondInstallationTakesTheShortcutOver) {
  qv::test::TempFolder temp{L"qv-shortcut"};
  qv::setup::CreateDesktopShortcut(temp / L"first");
  qv::setup::CreateDesktopShortcut(temp / L"second");
  EXPECT_EQ(ReadLink(shortcut).target, (temp / L"second" / L"qv.exe").native());
  // One shortcut of that name, nothing beside it.
  int found = 0;
  WIN32_FIND_DATAW data;
  qv::setup::UniqueFind find(::FindFirstFileW((shortcut.parent_path() / L"Q.V. DU Vora*").c_str(), &data));
  if (find) {
    do ++found;
    while (::FindNextFileW(find.get(), &data));
  }
  EXPECT_EQ(found, 1);
}

TEST_F(DesktopShortcut, LeavesTheCallersApartmentAlone) {
  // A thread already in the multithreaded apartment keeps it.
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  qv::test::TempFolder temp{L"qv-shortcut"};
  qv::setup::CreateDesktopShortcut(temp.path());
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  EXPECT_EQ(::CoGetApartmentType(&type, &qualifier), S_OK);
  EXPECT_EQ(type, APTTYPE_MTA);
  ::CoUninitialize();
  EXPECT_TRUE(fs::exists(shortcut));
}

}  // namespace
