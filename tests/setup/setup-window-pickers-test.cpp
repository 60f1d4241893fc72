// The setup window's pickers: what the boxes show after the user chose a
// package, a dumped game folder or the place of the installation; and the
// installation the desktop shortcut leads to.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/records/install-manifest.h"
#include "selftest/fixtures/test-game-files.h"
#include "setup-window-fixture.h"
#include "setup/install-from-shortcut.h"
#include "setup/window/folder-choices.h"
#include "setup/window/setup-window-layout.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::WindowText;

void MakeInstallation(const fs::path& folder) {
  fs::create_directories(folder);
  WriteInstallManifest(folder, "1.0.3", {}, "");
}

// Saves a shortcut file to `target` the way the setup makes its own.
void SaveShortcut(const fs::path& shortcut, const fs::path& target) {
  IShellLinkW* link = nullptr;
  ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link))));
  link->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  EXPECT_TRUE(SUCCEEDED(file->Save(shortcut.c_str(), TRUE)));
  file->Release();
  link->Release();
}

using SetupWindowPickers = qv::test::SetupWindowTest;

TEST_F(SetupWindowPickers, LocationTakesAnInstallationAsItIsAndMakesANewFolderElsewhere) {
  qv::test::TempFolder temp{L"qv-pickers"};
  MakeInstallation(temp / L"Old Install");
  fs::create_directories(temp / L"Games");
  picks_ = {temp / L"Old Install", temp / L"Games", temp / L"missing"};

  Command(kLocationId);
  EXPECT_EQ(WindowText(Control(kFolderBoxId)), (temp / L"Old Install").native());
  Command(kLocationId);
  EXPECT_EQ(WindowText(Control(kFolderBoxId)), (temp / L"Games" / L"Q.V. DU Vora").native());
  Command(kLocationId);
  EXPECT_EQ(WindowText(Control(kFolderBoxId)), (temp / L"missing" / L"Q.V. DU Vora").native());
  ASSERT_EQ(pick_titles_.size(), 3u);
  EXPECT_EQ(pick_titles_[0], L"Select a parent directory. Setup creates a new Q.V. folder inside it.");

  // Cancelling the picker changes nothing.
  Command(kLocationId);
  EXPECT_EQ(WindowText(Control(kFolderBoxId)), (temp / L"missing" / L"Q.V. DU Vora").native());
  EXPECT_EQ(WindowText(Control(kSourceBoxId)), L"");
}

TEST_F(SetupWindowPickers, FolderOfAnInstallationRepairsItFromItsOwnTitleFolder) {
  qv::test::TempFolder temp{L"qv-pickers"};
  struct Case {
    const char* what;
    std::wstring title_folder;  // made inside the installation; empty: none
    bool archives;
    std::wstring source;        // relative to the chosen folder; empty: the folder itself
    bool folder_changes;
  };
  const Case cases[] = {
      {"CUSA09901 with archives", L"CUSA09901", true, L"CUSA09901", true},
      {"empty CUSA09901 (the name is the fallback)", L"CUSA09901", false, L"CUSA09901", true},
      {"another release's title folder", L"CUSA08809", true, L"CUSA08809", true},
      {"no title folder", L"", false, L"", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path installation = temp / (L"install-" + std::to_wstring(n++));
    MakeInstallation(installation);
    if (!c.title_folder.empty()) {
      fs::create_directories(installation / c.title_folder);
      if (c.archives) WriteGameArchives(installation / c.title_folder);
    }
    ::SetWindowTextW(Control(kFolderBoxId), L"unchanged");
    picks_ = {installation};
    Command(kPickFolderId);
    const fs::path source = c.source.empty() ? installation : installation / c.source;
    EXPECT_EQ(WindowText(Control(kSourceBoxId)), source.native());
    EXPECT_EQ(WindowText(Control(kFolderBoxId)), c.folder_changes ? installation.native() : L"unchanged");
  }
  EXPECT_EQ(pick_titles_.front(),
            L"Select your Q.V. game folder from your console dump (for example CUSA09901; it holds chunk1.psarc).");
}

TEST_F(SetupWindowPickers, FolderOfADumpIsTheSource) {
  qv::test::TempFolder temp{L"qv-pickers"};
  WriteDumpedGame(temp / L"dump" / L"CUSA09901");
  ::SetWindowTextW(Control(kFolderBoxId), L"unchanged");
  picks_ = {temp / L"dump" / L"CUSA09901", temp / L"dump"};
  Command(kPickFolderId);
  EXPECT_EQ(WindowText(Control(kSourceBoxId)), (temp / L"dump" / L"CUSA09901").native());
  // The folder above the dump is no installation either: taken as chosen.
  Command(kPickFolderId);
  EXPECT_EQ(WindowText(Control(kSourceBoxId)), (temp / L"dump").native());
  EXPECT_EQ(WindowText(Control(kFolderBoxId)), L"unchanged");
}

TEST(SetupShortcutInstall, OnlyAPlainShortcutToAnInstallationCounts) {
  qv::setup::WindowThread com;
  qv::test::TempFolder temp{L"qv-shortcut"};
  const fs::path installation = temp / L"Q.V. DU Vora";
  MakeInstallation(installation);
  const fs::path elsewhere = temp / L"elsewhere";
  fs::create_directories(elsewhere);

  SaveShortcut(temp / L"good.lnk", installation / L"qv.exe");
  SaveShortcut(temp / L"elsewhere.lnk", elsewhere / L"qv.exe");
  fs::create_directories(temp / L"folder.lnk");
  qv::test::WriteTestFile(temp / L"garbage.lnk", "not a shortcut");

  EXPECT_EQ(InstallFromShortcutFile(temp / L"good.lnk"), installation);
  EXPECT_EQ(InstallFromShortcutFile(temp / L"elsewhere.lnk"), fs::path());
  EXPECT_EQ(InstallFromShortcutFile(temp / L"folder.lnk"), fs::path());
  EXPECT_EQ(InstallFromShortcutFile(temp / L"garbage.lnk"), fs::path());
  EXPECT_EQ(InstallFromShortcutFile(temp / L"missing.lnk"), fs::path());
}

TEST(SetupFolderChoices, LocationAndDumpFolderDecisions) {
  qv::test::TempFolder temp{L"qv-choices"};
  // A folder that cannot be judged (a file where a folder should be) counts
  // as no installation.
  qv::test::WriteTestFile(temp / L"file", "x");
  EXPECT_EQ(InstallFolderForLocation(temp / L"file"), temp / L"file" / L"Q.V. DU Vora");
  const DumpFolderChoice choice = ChooseDumpFolder(temp / L"file");
  EXPECT_EQ(choice.source, temp / L"file");
  EXPECT_FALSE(choice.folder.has_value());
  // A drive root gets the new folder directly inside it.
  EXPECT_EQ(InstallFolderForLocation(L"Q:\\").native(), L"Q:\\Q.V. DU Vora");
}

}  // namespace
