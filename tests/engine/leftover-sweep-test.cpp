#include "engine/leftover-sweep.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/path-classes.h"
#include "engine/records/prior-package-files.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::ViewWithReparsePoints;
using qv::test::WriteTestFile;
using Paths = std::vector<std::string>;

const std::string kDigest(64, 'a');
const std::string kMarked = "MZ\x90" + std::string(200, '\0') + "dlssg_sm86" + std::string(50, '\x01');

std::string KeptAsNamedByRecord(const std::string& name) {
  return "kept " + name + ": the frame generation unlock's record qv-dlssg-route.json names it";
}
std::string KeptAsForeign(const std::string& name) {
  return "kept " + name +
         ": not the community frame generation proxy an earlier package shipped (another program's file)";
}
std::string RemovedProxy(const std::string& name, const std::string& reason) {
  return "removed " + name + ": the community frame generation proxy that 1.0.6 and 1.0.7 shipped by mistake (" +
         reason + ")";
}

class LeftoverSweepTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(game); }

  // Writes each file (with some content) below the game folder.
  void Files(const Paths& paths, const std::string& content = "x") {
    for (const std::string& path : paths) WriteTestFile(game / PathFromUtf8(path), content);
  }

  // An installation with a manifest listing `manifest` and a file list listing `listed`.
  static ExistingInstall Installed(const Paths& manifest, const Paths& listed = {}) {
    ExistingInstall existing;
    existing.is_install = true;
    existing.has_manifest = true;
    for (const std::string& path : manifest) existing.manifest_files.push_back({path, kDigest});
    for (const std::string& path : listed) existing.listed_files.push_back({path, 1, kDigest});
    return existing;
  }

  Paths Sweep(const ExistingInstall& existing, const Paths& new_files, Paths* notes = nullptr,
              const FileSystemView& view = SystemView()) {
    return ListStaleInstallFiles(game, existing, new_files, notes ? notes : &messages, view);
  }

  TempFolder temp;
  fs::path game = temp / L"game";
  Paths messages;
};

TEST_F(LeftoverSweepTest, ManifestFileTheNewVersionDropsIsListed) {
  Files({"shaders/old.spv", "shaders/new.spv", "qv.exe"});
  EXPECT_EQ(Sweep(Installed({"qv.exe", "shaders/old.spv", "shaders/new.spv"}), {"qv.exe", "shaders/new.spv"}),
            Paths{"shaders/old.spv"});
  EXPECT_TRUE(messages.empty());
}

TEST_F(LeftoverSweepTest, NewFilesAreMatchedByKey) {
  Files({"QV.EXE", "Shaders/A.spv", "gone.dll"});
  EXPECT_EQ(Sweep(Installed({"QV.EXE", "Shaders\\A.spv", "gone.dll"}), {"qv.exe", "shaders/a.spv"}), Paths{"gone.dll"});
}

TEST_F(LeftoverSweepTest, TableRowsPresentOnDiskAreListedInByteOrder) {
  Files({"amd_fidelityfx_vk.dll", "README.md", "extractor/System.AppContext.dll", "extractor/QV.PkgExtract.dll",
         "voice/whisper.dll"});
  fs::create_directories(game / L"libxess.dll");  // a folder now: not a file to remove
  EXPECT_EQ(
      Sweep(Installed({}), {"voice/whisper.dll"}),
      (Paths{"README.md", "amd_fidelityfx_vk.dll", "extractor/QV.PkgExtract.dll", "extractor/System.AppContext.dll"}));
}

TEST_F(LeftoverSweepTest, EveryTableRowIsOfferedOnce) {
  Paths rows(PriorPackageFiles.begin(), PriorPackageFiles.end());
  Files(rows);
  // Named again by the old manifest and file list, in other letter case.
  Paths upper;
  for (std::string row : rows) {
    for (char& c : row) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.push_back(row);
  }
  Paths result = Sweep(Installed(upper, rows), {});
  ASSERT_EQ(result.size(), rows.size());
  // The first source's names are the ones listed (the manifest's here), sorted.
  std::sort(upper.begin(), upper.end());
  EXPECT_EQ(result, upper);
}

TEST_F(LeftoverSweepTest, PlayerAndGameFilesAreNeverListed) {
  const Paths protected_files{"saves/slot.dat",
                              "data/x",
                              "Data./y",
                              "mods/y",
                              "a.log",
                              "extractor/b.log",
                              "CUSA09901/chunk1.psarc",
                              "chunk1.psarc",
                              "texture.qar",
                              "sce_sys/param.sfo",
                              "source.txt",
                              "qv-install-manifest.txt",
                              "dump/CUSA09901/readme.txt",
                              "extractor/CUSA09902/x.dll",
                              "qv.ini",
                              "icon0.png",
                              "install-notes.txt",
                              "dlssg_sm86.ini",
                              "dlssg_sm86/a.dll",
                              "screenshots/s.png"};
  Files(protected_files);
  // Archive pairs at the top, in the title folder and one level deeper.
  for (const char* folder : {"", "CUSA09901/", "dump/CUSA09901/"}) {
    Files({std::string(folder) + "chunk1.psarc", std::string(folder) + "texture.qar"});
  }
  Files({"extractor/CUSA09902/chunk1.psarc", "extractor/CUSA09902/texture.qar"});
  ExistingInstall existing = Installed(protected_files, protected_files);
  EXPECT_TRUE(Sweep(existing, {}).empty());
  // Nor by the walk of an installation without a manifest.
  existing.has_manifest = false;
  EXPECT_TRUE(Sweep(existing, {}).empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(LeftoverSweepTest, MissingItemsAndUnsafeNamesAreKept) {
  WriteTestFile(temp / L"outside.dll", "x");
  WriteTestFile(temp / L"other" / L"x.dll", "x");
  Files({"extractor/present.dll"});
  const Paths names{"../outside.dll",       "..\\other\\x.dll", "extractor/../../outside.dll",  "missing.dll",
                    "C:/Windows/win.ini",   "\\outside.dll",    "extractor/present.dll:stream", "",
                    "extractor/present.dll"};
  Paths notes;
  EXPECT_EQ(Sweep(Installed(names), {}, &notes), Paths{"extractor/present.dll"});
  EXPECT_TRUE(notes.empty());
}

// Names that the system would take to another file than they say (trailing
// dots and blanks are dropped by the system) are not leftovers: the name tests
// never saw the file they reach.
TEST_F(LeftoverSweepTest, NamesThatReachAnotherFileAreKept) {
  Files({"saves/slot.dat", "qv.ini", "qv.exe", "mods/a.pak", "old.dll"});
  Paths result = Sweep(Installed({"saves./slot.dat", "qv.ini.", "QV.EXE.", "mods /a.pak", "old.dll"}), {"qv.exe"});
  EXPECT_EQ(result, Paths{"old.dll"});
}

TEST_F(LeftoverSweepTest, ProxyDllDecisions) {
  struct Case {
    const char* label;
    std::string content;    // of version.dll
    const char* fg_record;  // "qv-dlssg-route.json", or null for none
    Paths expected;
    Paths expected_messages;
  };
  const Case cases[] = {
      {"marker, no record",
       kMarked,
       nullptr,
       {"version.dll"},
       {RemovedProxy("version.dll", "no frame generation unlock record")}},
      {"marker, record names another proxy",
       kMarked,
       R"({"proxy": "winmm.dll"})",
       {"version.dll"},
       {RemovedProxy("version.dll", "the unlock's record does not name it")}},
      {"no marker", "MZ another program's loader", nullptr, {}, {KeptAsForeign("version.dll")}},
      {"no marker, record present", "MZ", R"({"proxy": "winmm.dll"})", {}, {KeptAsForeign("version.dll")}},
      {"claimed by the record", kMarked, R"({"proxy": "version.dll"})", {}, {KeptAsNamedByRecord("version.dll")}},
      {"unreadable record protects every proxy", kMarked, "{broken", {}, {KeptAsNamedByRecord("version.dll")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    qv::setup::RemoveTree(game);
    Files({"version.dll"}, c.content);
    if (c.fg_record) WriteTestFile(game / L"qv-dlssg-route.json", c.fg_record);
    Paths notes;
    // Named by the manifest and by the file list: decided once, one message.
    EXPECT_EQ(Sweep(Installed({"version.dll"}, {"VERSION.DLL"}), {}, &notes), c.expected);
    EXPECT_EQ(notes, c.expected_messages);
    // Without a message list the decisions stay the same.
    EXPECT_EQ(ListStaleInstallFiles(game, Installed({"version.dll"}), {}, nullptr), c.expected);
  }
}

TEST_F(LeftoverSweepTest, ProxyMessagesKeepTheCandidateAsNamed) {
  Files({"WinMM.dll"}, kMarked);
  Paths notes;
  EXPECT_EQ(Sweep(Installed({"WinMM.dll"}), {}, &notes), Paths{"WinMM.dll"});
  EXPECT_EQ(notes, Paths{RemovedProxy("WinMM.dll", "no frame generation unlock record")});
  // A proxy name below the top is an ordinary file: no message.
  qv::setup::RemoveTree(game);
  Files({"plugins/version.dll"}, "MZ");
  notes.clear();
  EXPECT_EQ(Sweep(Installed({"plugins/version.dll"}), {}, &notes), Paths{"plugins/version.dll"});
  EXPECT_TRUE(notes.empty());
}

TEST_F(LeftoverSweepTest, RouteOwnedFilesAreKept) {
  Files({"winmm.dll"}, kMarked);
  Files({"dxgi.dll", "reshade-shaders/x.fx", "extra.dll", "gone.dll"});
  WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "winmm.dll", "files": ["extra.dll"]})");
  WriteTestFile(game / L"dlss5-autopilot.json", R"({"files": ["dxgi.dll", "reshade-shaders/x.fx"]})");
  Paths notes;
  EXPECT_EQ(Sweep(Installed({"winmm.dll", "dxgi.dll", "reshade-shaders/x.fx", "extra.dll", "gone.dll",
                             "dlss5-autopilot.json"}),
                  {}, &notes),
            Paths{"gone.dll"});
  EXPECT_EQ(notes, Paths{KeptAsNamedByRecord("winmm.dll")});
}

TEST_F(LeftoverSweepTest, NoInstallationNothingListed) {
  Files({"README.md", "extractor/QV.PkgExtract.dll"});
  Files({"version.dll"}, kMarked);
  ExistingInstall none;
  none.manifest_files.push_back({"version.dll", kDigest});
  EXPECT_TRUE(Sweep(none, {}).empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(LeftoverSweepTest, WalkWithoutManifestOffersOnlyPortFiles) {
  Files({"extractor/old.dll", "notes.txt", "voice/vosk/model/x", "shaders/sub/a.spv", "shaders/a.glsl", "qv.exe",
         "mods/extractor/y.dll", "QV.EXE.bak", "vera_date/z"});
  ExistingInstall older;
  older.is_install = true;
  EXPECT_EQ(Sweep(older, {"qv.exe", "vera_date/z"}),
            (Paths{"extractor/old.dll", "shaders/sub/a.spv", "voice/vosk/model/x"}));
  // With a manifest there is no walk.
  EXPECT_TRUE(Sweep(Installed({}), {"qv.exe"}).empty());
}

TEST_F(LeftoverSweepTest, WalkNeverEntersLinksAndPassesOverUnreadableFolders) {
  Files({"extractor/linked/a.dll", "voice/vosk/b.bin", "shaders/locked/c.spv", "shaders/open/d.spv",
         "extractor/filelink.dll"});
  FileSystemView view = ViewWithReparsePoints({{game / L"extractor" / L"linked", kReparseTagSymlink},
                                               {game / L"voice", kReparseTagMountPoint},
                                               {game / L"extractor" / L"filelink.dll", kReparseTagSymlink}});
  const fs::path locked = NormalAbsolutePath(game / L"shaders" / L"locked");
  auto list = view.list_folder;
  view.list_folder = [list, locked](const fs::path& folder, std::vector<FolderEntry>& entries) {
    if (NormalAbsolutePath(folder) == locked) return std::error_code(ERROR_ACCESS_DENIED, std::system_category());
    return list(folder, entries);
  };
  ExistingInstall older;
  older.is_install = true;
  // A link to a file counts as the file it leads to.
  EXPECT_EQ(Sweep(older, {}, nullptr, view), (Paths{"extractor/filelink.dll", "shaders/open/d.spv"}));
}

TEST_F(LeftoverSweepTest, WalkedTitleFolderInsideAPortFolderIsGameData) {
  Files({"extractor/CUSA09901/chunk1.psarc", "extractor/CUSA09901/texture.qar", "extractor/CUSA09901/other.bin",
         "extractor/tool.dll"});
  ExistingInstall older;
  older.is_install = true;
  EXPECT_EQ(Sweep(older, {}), Paths{"extractor/tool.dll"});
}

class GameDataRootsTest : public ::testing::Test {
 protected:
  void Pair(const fs::path& folder) {
    WriteTestFile(folder / L"chunk1.psarc", "x");
    WriteTestFile(folder / L"texture.qar", "x");
  }
  TempFolder temp;
};

TEST_F(GameDataRootsTest, TopThenTitleFolders) {
  Pair(temp.path());
  Pair(temp / L"CUSA09901");
  Pair(temp / L"dump" / L"CUSA09903");
  Pair(temp / L"a" / L"b" / L"CUSA09902");  // three levels down: not found
  Pair(temp / L"CUSA01234");
  fs::create_directories(temp / L"sce_sys");
  Pair(temp / L"sce_sys" / L"x");  // never searched
  EXPECT_EQ(FindGameDataRoots(temp.path()), (Paths{"", "CUSA09901/", "CUSA01234/", "dump/CUSA09903/"}));
}

TEST_F(GameDataRootsTest, SymbolicLinksAreSkippedJunctionsAreNot) {
  Pair(temp / L"CUSA09901");
  Pair(temp / L"CUSA01234");
  Pair(temp / L"linked" / L"CUSA09903");
  auto view = ViewWithReparsePoints({{temp / L"CUSA09901", kReparseTagSymlink},
                                     {temp / L"linked", kReparseTagSymlink},
                                     {temp / L"CUSA01234", kReparseTagMountPoint}});
  EXPECT_EQ(FindGameDataRoots(temp.path(), view), Paths{"CUSA01234/"});
  EXPECT_EQ(FindGameDataRoots(temp.path()), (Paths{"CUSA09901/", "CUSA01234/", "linked/CUSA09903/"}));
}

TEST_F(GameDataRootsTest, MissingFolderHasNoRoots) {
  EXPECT_TRUE(FindGameDataRoots(temp / L"missing").empty());
  EXPECT_TRUE(FindGameDataRoots(temp.path()).empty());
}

}  // namespace
