// The file removal of uninstalling on fixture installations: what goes, what
// the player keeps, and that nothing outside the installation or behind a
// link is ever touched (links are presented through the file-system view,
// since Wine cannot make them).

#include "setup/uninstall/installed-files-removal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/records/install-manifest.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::InstalledFile;
using qv::setup::RemovalCounts;
using qv::setup::RemoveInstalledFiles;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

// An installation's install manifest naming `files`, each with a placeholder digest.
void WriteManifest(const fs::path& folder, const std::vector<std::string>& files) {
  std::vector<InstalledFile> entries;
  for (const std::string& file : files) entries.push_back({file, std::string(64, 'a')});
  qv::setup::WriteInstallManifest(folder, "1.1.0", entries, "");
}

// The files and folders left in `folder`, relative, '/'-separated, sorted.
std::vector<std::string> Left(const fs::path& folder) {
  std::vector<std::string> left;
  for (const auto& [path, bytes] : qv::setup::SnapshotTree(folder)) left.push_back(path);
  return left;
}

// A file list ("qv-files.json") naming `files`.
std::string FilesJson(const std::vector<std::string>& files) {
  std::string json = R"({"format": 1, "files": [)";
  for (size_t i = 0; i < files.size(); ++i) {
    json += (i ? ", " : "") + std::string(R"({"path": ")") + files[i] + R"(", "size": 1, "sha256": ")" +
            std::string(64, 'b') + R"("})";
  }
  return json + "]}";
}

struct Removal : ::testing::Test {
  TempFolder temp{L"qv-removal"};
  fs::path install = temp / L"QV";
};

// The scenarios of the built-in uninstall self test.
TEST_F(Removal, KeepsTheDataFolderAndWithDataRemovesEverything) {
  const fs::path keep = temp / L"keep-data" / L"QV";
  WriteTestFile(keep / L"qv.exe", "game");
  WriteTestFile(keep / L"shaders" / L"a.spv", "spv");
  WriteTestFile(keep / L"data" / L"qv.ini", "settings");
  WriteTestFile(keep / L"data" / L"save.bin", "save");
  WriteManifest(keep, {"qv.exe", "shaders/a.spv"});
  const RemovalCounts kept = RemoveInstalledFiles(keep, false);
  EXPECT_EQ(kept.removed, 3u);  // qv.exe, shaders/a.spv and the manifest
  EXPECT_EQ(kept.failed, 0u);
  EXPECT_FALSE(kept.root_removed);
  EXPECT_EQ(Left(keep), (std::vector<std::string>{"data/", "data/qv.ini", "data/save.bin"}));

  const fs::path all = temp / L"remove-all" / L"QV";
  WriteTestFile(all / L"qv.exe", "game");
  WriteTestFile(all / L"data" / L"qv.ini", "settings");
  WriteManifest(all, {"qv.exe"});
  const RemovalCounts removed = RemoveInstalledFiles(all, true);
  EXPECT_EQ(removed.removed, 2u);  // the data folder's content is not counted
  EXPECT_EQ(removed.failed, 0u);
  EXPECT_TRUE(removed.root_removed);
  EXPECT_FALSE(fs::exists(all));
}

TEST_F(Removal, RefusesFoldersWithoutAnInstallation) {
  const std::string refusal = "This folder does not contain an installation of Q.V. DU Vora.";
  fs::create_directories(temp / L"empty");
  WriteTestFile(temp / L"other" / L"letter.txt", "mine");
  WriteTestFile(temp / L"file", "x");
  for (const fs::path& folder : {temp / L"empty", temp / L"missing", temp / L"other", temp / L"file"}) {
    EXPECT_EQ(qv::test::ThrownMessage([&] { RemoveInstalledFiles(folder, true); }), refusal) << folder;
  }
  EXPECT_EQ(ReadTestFile(temp / L"other" / L"letter.txt"), "mine");
  EXPECT_TRUE(fs::exists(temp / L"empty"));
}

TEST_F(Removal, TheFixedNamesGoEvenWhenNoRecordNamesThem) {
  for (const wchar_t* name :
       {L"qv.exe", L"qv-updater.exe", L"install-notes.txt", L"install-extraction.log", L"other.dll"}) {
    WriteTestFile(install / name, "x");
  }
  WriteManifest(install, {});
  const RemovalCounts counts = RemoveInstalledFiles(install, false);
  EXPECT_EQ(counts.removed, 5u);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"other.dll"}));
}

// Names that lead out of the installation are never followed, whichever
// record holds them.
TEST_F(Removal, NamesThatLeaveTheFolderAreSkipped) {
  const fs::path outside = temp / L"x";
  WriteTestFile(outside, "not the installation's");
  WriteTestFile(install / L"ok.txt", "ok");
  const std::string absolute = qv::setup::ToGenericUtf8(outside);
  RemovalCounts counts;
  qv::setup::RemoveNamedItems(install, {"../x", "..\\x", "C:/x", absolute, "ok.txt", "sub/../../x"}, counts);
  EXPECT_EQ(counts.removed, 1u);
  EXPECT_EQ(counts.failed, 0u);
  EXPECT_EQ(ReadTestFile(outside), "not the installation's");
  EXPECT_FALSE(fs::exists(install / L"ok.txt"));

  // In the file list, such a name makes the whole list untrustworthy: the
  // manifest's files still go.
  WriteTestFile(install / L"qv.exe", "game");
  WriteTestFile(install / L"listed.dll", "listed");
  WriteTestFile(install / L"qv-files.json", FilesJson({"listed.dll", "../x"}));
  WriteManifest(install, {"qv.exe", "qv-files.json"});
  RemoveInstalledFiles(install, true);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"listed.dll"}));
  EXPECT_EQ(ReadTestFile(outside), "not the installation's");

  // In the install manifest it stops the uninstall before anything is deleted.
  WriteTestFile(install / L"qv.exe", "game");
  std::string manifest = "qv-port-install 1\nversion=1.1.0\nfile=" + std::string(64, 'a') +
                         " qv.exe\nfile=" + std::string(64, 'a') + " ../x\n";
  WriteTestFile(install / L"qv-install-manifest.txt", manifest);
  EXPECT_EQ(qv::test::ThrownMessage([&] { RemoveInstalledFiles(install, true); }), "Unsafe payload path.");
  EXPECT_EQ(ReadTestFile(install / L"qv.exe"), "game");
  EXPECT_EQ(ReadTestFile(outside), "not the installation's");
}

// Names the system would take for other items (trailing dots and blanks are
// dropped from names) are skipped: "saves./slot.dat" reaches saves/slot.dat.
TEST_F(Removal, NamesThatAliasOtherItemsAreSkipped) {
  WriteTestFile(install / L"saves" / L"slot.dat", "progress");
  WriteTestFile(install / L"qv.ini", "settings");
  WriteTestFile(install / L"dlss5-autopilot.json", R"({"files": ["saves./slot.dat", "qv.ini ", "tool.dll"]})");
  WriteTestFile(install / L"tool.dll", "tool");
  WriteManifest(install, {});
  RemoveInstalledFiles(install, true);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"qv.ini", "saves/", "saves/slot.dat"}));
}

// Route records are outside text: what they name goes only when it is not
// the player's; the frame-generation unlock's own files go.
TEST_F(Removal, RouteRecordsCannotTakeThePlayersFiles) {
  const std::vector<std::string> players = {"saves/slot.dat",    "qv.ini",     "CUSA09901/chunk1.psarc",
                                            "screenshots/a.png", "mods/m.pak", "data/qv.ini",
                                            "game.log"};
  for (const std::string& file : players) WriteTestFile(install / qv::setup::PathFromUtf8(file), "player's");
  std::string dlss5 = R"({"files": ["nvngx_dlss5.dll", "shaders/dlss5.spv")";
  for (const std::string& file : players) dlss5 += ", \"" + file + "\"";
  WriteTestFile(install / L"dlss5-autopilot.json", dlss5 + "]}");
  WriteTestFile(install / L"nvngx_dlss5.dll", "tool");
  WriteTestFile(install / L"shaders" / L"dlss5.spv", "tool");
  WriteTestFile(install / L"qv-dlssg-route.json",
                R"({"proxy": "version.dll", "files": [{"name": "dlssg_sm86\\nvngx_dlssg.dll"}]})");
  WriteTestFile(install / L"dlssg_sm86.ini", "unlock settings");
  WriteTestFile(install / L"version.dll", "proxy dlssg_sm86");
  WriteTestFile(install / L"dlssg_sm86" / L"nvngx_dlssg.dll", "runtime");
  WriteManifest(install, {"qv.exe"});

  const qv::setup::ExistingInstall existing = qv::setup::ReadExistingInstall(install);
  for (bool remove_data : {false, true}) {
    const std::set<std::string> names = qv::setup::ListUninstallNames(install, existing, remove_data);
    for (const std::string& file : players) EXPECT_EQ(names.count(file), 0u) << file;
    for (const char* route : {"nvngx_dlss5.dll", "shaders/dlss5.spv", "dlss5-autopilot.json", "qv-dlssg-route.json",
                              "dlssg_sm86.ini", "version.dll", "dlssg_sm86/nvngx_dlssg.dll"}) {
      EXPECT_EQ(names.count(route), 1u) << route;
    }
  }

  const RemovalCounts counts = RemoveInstalledFiles(install, false);
  EXPECT_EQ(counts.failed, 0u);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"CUSA09901/", "CUSA09901/chunk1.psarc", "data/", "data/qv.ini",
                                                     "game.log", "mods/", "mods/m.pak", "qv.ini", "saves/",
                                                     "saves/slot.dat", "screenshots/", "screenshots/a.png"}));
}

// Without the player's data nothing under "data" or "mods" goes, whatever a
// record says, and those folders stay exactly as they are, empty ones too.
TEST_F(Removal, WithoutDataTheDataAndModsFoldersStayAsTheyAre) {
  WriteTestFile(install / L"qv.exe", "game");
  WriteTestFile(install / L"mods" / L"listed.pak", "mod");
  WriteTestFile(install / L"data" / L"listed.txt", "listed");
  fs::create_directories(install / L"data" / L"empty");
  fs::create_directories(install / L"mods" / L"empty");
  fs::create_directories(install / L"emptied" / L"deeper");
  WriteTestFile(install / L"qv-files.json",
                FilesJson({"mods/listed.pak", "MODS/listed.pak", "data/listed.txt", "Data./listed.txt"}));
  WriteManifest(install, {"qv.exe", "qv-files.json"});
  const RemovalCounts counts = RemoveInstalledFiles(install, false);
  EXPECT_EQ(counts.removed, 3u);  // qv.exe, qv-files.json, the manifest
  EXPECT_FALSE(counts.root_removed);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"data/", "data/empty/", "data/listed.txt", "mods/", "mods/empty/",
                                                     "mods/listed.pak"}));
}

TEST_F(Removal, AFileInUseCountsAsFailedAndKeepsItsFolders) {
  WriteTestFile(install / L"qv.exe", "game");
  WriteTestFile(install / L"voice" / L"model.bin", "model");
  WriteManifest(install, {"qv.exe", "voice/model.bin"});
  qv::setup::UniqueFile open(::CreateFileW((install / L"voice" / L"model.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(open.valid());
  const RemovalCounts counts = RemoveInstalledFiles(install, true);
  EXPECT_EQ(counts.removed, 2u);
  EXPECT_EQ(counts.failed, 1u);
  EXPECT_FALSE(counts.root_removed);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"voice/", "voice/model.bin"}));
}

// A recorded link goes as one item; a recorded name below a link or junction
// is skipped; "data" is removed without entering a junction inside it. A
// stand-in folder shown as a junction still holds its content, so whatever
// was "behind" it must survive.
TEST_F(Removal, LinksAreRemovedAsLinksAndNeverEntered) {
  WriteTestFile(install / L"qv.exe", "game");
  WriteTestFile(install / L"linked.dll", "a link recorded as an installed file");
  WriteTestFile(install / L"shaders" / L"a.spv", "behind a junction");
  WriteTestFile(install / L"voice" / L"model.bin", "behind a folder link");
  WriteTestFile(install / L"data" / L"elsewhere" / L"precious.txt", "behind a junction in data");
  WriteTestFile(install / L"data" / L"qv.ini", "settings");
  WriteManifest(install, {"qv.exe", "linked.dll", "shaders/a.spv", "voice/model.bin"});
  const qv::setup::FileSystemView view = qv::test::ViewWithReparsePoints({
      {install / L"linked.dll", qv::setup::kReparseTagSymlink},
      {install / L"shaders", qv::setup::kReparseTagMountPoint},
      {install / L"voice", qv::setup::kReparseTagSymlink},
      {install / L"data" / L"elsewhere", qv::setup::kReparseTagMountPoint},
  });
  const RemovalCounts counts = RemoveInstalledFiles(install, true, view);
  EXPECT_EQ(counts.removed, 3u);  // qv.exe, linked.dll, the manifest
  EXPECT_EQ(counts.failed, 0u);
  EXPECT_FALSE(fs::exists(install / L"linked.dll"));
  EXPECT_FALSE(fs::exists(install / L"data" / L"qv.ini"));
  EXPECT_EQ(ReadTestFile(install / L"shaders" / L"a.spv"), "behind a junction");
  EXPECT_EQ(ReadTestFile(install / L"voice" / L"model.bin"), "behind a folder link");
  EXPECT_EQ(ReadTestFile(install / L"data" / L"elsewhere" / L"precious.txt"), "behind a junction in data");
}

TEST_F(Removal, EmptiedFoldersGoDeepestFirstAndOthersStay) {
  WriteTestFile(install / L"shaders" / L"a" / L"b" / L"c.spv", "spv");
  WriteTestFile(install / L"shaders" / L"kept.txt", "the player's note");
  WriteTestFile(install / L"voice" / L"en" / L"model.bin", "model");
  WriteManifest(install, {"shaders/a/b/c.spv", "voice/en/model.bin"});
  const RemovalCounts counts = RemoveInstalledFiles(install, false);
  EXPECT_EQ(counts.removed, 3u);
  EXPECT_EQ(Left(install), (std::vector<std::string>{"shaders/", "shaders/kept.txt"}));
}

}  // namespace
