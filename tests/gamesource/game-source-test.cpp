#include "gamesource/game-source.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "game-fixtures.h"
#include "gamesource/archive-copy.h"
#include "gamesource/archive-tests.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-pkg.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::ListedNames;
using qv::test::PathIdListBytes;
using qv::test::PngBytes;
using qv::test::PsarcBytes;
using qv::test::QarBytes;
using qv::test::TempFolder;
using qv::test::WriteGameArchives;
using qv::test::WriteSizedFile;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

const std::string kSelectGame = "Select your Q.V. game: a fake PKG, or the game folder from your console dump.";
const std::string kNotAPackage =
    "This file is not a PS4 package or a Q.V. archive. Select a Q.V. fake PKG, or the game folder from your dump.";
const std::string kNoGameData =
    "No Q.V. game data was found here. Select the folder that holds chunk1.psarc and texture.qar (decrypted, from "
    "your own console's dump), or your Q.V. fake PKG.";
const std::string kSeveralPackages = "This folder has several PKG files. Select the Q.V. package itself.";
const std::string kMissingList =
    "pathid_list_ps4.bin is missing: enhanced textures cannot be generated; the game runs without it";

// The message ResolveGameSource fails with, or "" when it returns.
std::string FailureOf(const fs::path& path) {
  try {
    ResolveGameSource(path);
    return "";
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

void WriteParamSfo(const fs::path& folder, const std::string& title, const std::string& content = "") {
  WriteTestFile(folder / L"sce_sys" / L"param.sfo", BuildTestParamSfo(title, content));
}

TEST(ResolveGameSource, DumpedFolderItself) {
  TempFolder temp;
  auto dump = temp / L"CUSA09901 \u30c0\u30f3\u30d7";
  WriteGameArchives(dump);
  WriteParamSfo(dump, "CUSA09901", "UP4511-CUSA09901_00-PPPPPPPPTTTTTTTT");
  GameSource source = ResolveGameSource(dump);
  EXPECT_EQ(source.kind, GameSourceKind::Folder);
  EXPECT_EQ(source.path, dump);
  EXPECT_EQ(source.files.chunk, dump / L"chunk1.psarc");
  EXPECT_EQ(source.files.texture, dump / L"texture.qar");
  EXPECT_EQ(source.files.path_id_list, dump / L"pathid_list_ps4.bin");
  EXPECT_EQ(source.files.title_id, "CUSA09901");
  EXPECT_EQ(source.files.content_id, "UP4511-CUSA09901_00-PPPPPPPPTTTTTTTT");
  EXPECT_TRUE(source.files.notes.empty());
}

TEST(ResolveGameSource, EmptyOrMissingPath) {
  TempFolder temp;
  EXPECT_EQ(FailureOf(L""), kSelectGame);
  EXPECT_EQ(FailureOf(temp / L"missing"), kSelectGame);
}

TEST(ResolveGameSource, SearchDepth) {
  TempFolder temp;
  auto two_down = temp / L"a" / L"b";
  WriteGameArchives(two_down);
  GameSource source = ResolveGameSource(temp.path());
  EXPECT_EQ(source.kind, GameSourceKind::Folder);
  EXPECT_EQ(source.path, two_down);
  EXPECT_TRUE(source.files.notes.empty());  // no param.sfo, the list shows the game's levels

  TempFolder deep;
  WriteGameArchives(deep / L"a" / L"b" / L"c");
  EXPECT_EQ(FailureOf(deep.path()), kNoGameData);
  // Three levels down the package files in the chosen folder decide.
  WriteTestFile(deep / L"game.pkg", BuildTestPkg(PngBytes("icon"), false));
  source = ResolveGameSource(deep.path());
  EXPECT_EQ(source.kind, GameSourceKind::Pkg);
  EXPECT_EQ(source.path, deep / L"game.pkg");
}

TEST(ResolveGameSource, SystemFoldersAreNotSearched) {
  for (const wchar_t* name : {L"sce_sys", L"sce_module"}) {
    TempFolder temp;
    WriteGameArchives(temp / name);
    EXPECT_EQ(FailureOf(temp.path()), kNoGameData) << fs::path(name);
    WriteGameArchives(temp / L"x" / name);
    EXPECT_EQ(FailureOf(temp.path()), kNoGameData) << fs::path(name);
  }
  TempFolder temp;
  WriteGameArchives(temp / L"SCE_SYS");
  EXPECT_EQ(ResolveGameSource(temp.path()).path, temp / L"SCE_SYS");
}

TEST(ResolveGameSource, AtMost256FoldersALevelAcrossParents) {
  TempFolder temp;
  fs::create_directories(temp / L"p1");
  fs::create_directories(temp / L"p2");
  std::vector<std::wstring> parents = ListedNames(temp.path());
  ASSERT_EQ(parents.size(), 2u);
  for (int i = 0; i < 250; ++i) fs::create_directories(temp / parents[0] / (L"f" + std::to_wstring(i)));
  for (int i = 0; i < 10; ++i) fs::create_directories(temp / parents[1] / (L"g" + std::to_wstring(i)));
  std::vector<std::wstring> second = ListedNames(temp / parents[1]);
  ASSERT_EQ(second.size(), 10u);
  // Level 2 gathers the 250 folders of the first parent and the first 6 of the second.
  auto ignored = temp / parents[1] / second[6];
  WriteGameArchives(ignored);
  EXPECT_EQ(FailureOf(temp.path()), kNoGameData);
  auto last_gathered = temp / parents[1] / second[5];
  WriteGameArchives(last_gathered);
  EXPECT_EQ(ResolveGameSource(temp.path()).path, last_gathered);
}

TEST(ResolveGameSource, PickedFiles) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteGameArchives(dump);
  WriteTestFile(dump / L"readme.txt", "hello");
  EXPECT_EQ(ResolveGameSource(dump / L"texture.qar").path, dump);
  EXPECT_EQ(ResolveGameSource(dump / L"readme.txt").kind, GameSourceKind::Folder);
  WriteTestFile(temp / L"other" / L"notes.txt", "hello");
  EXPECT_EQ(FailureOf(temp / L"other" / L"notes.txt"), kNotAPackage);
  // A package is known by its magic, whatever its name.
  auto package = temp / L"other" / L"\u30b2\u30fc\u30e0.bin";
  WriteTestFile(package, BuildTestPkg("", false));
  GameSource source = ResolveGameSource(package);
  EXPECT_EQ(source.kind, GameSourceKind::Pkg);
  EXPECT_EQ(source.path, package);
  EXPECT_TRUE(source.files.chunk.empty());
}

TEST(ResolveGameSource, PackagesDirectlyInTheFolder) {
  TempFolder temp;
  WriteTestFile(temp / L"readme.txt", "hello");
  WriteTestFile(temp / L"fake.pkg", "not a package");
  WriteTestFile(temp / L"sub" / L"nested.pkg", BuildTestPkg("", false));  // not direct
  EXPECT_EQ(FailureOf(temp.path()), kNoGameData);
  WriteTestFile(temp / L"Q.V. \u00e9dition", BuildTestPkg("", false));
  GameSource source = ResolveGameSource(temp.path());
  EXPECT_EQ(source.kind, GameSourceKind::Pkg);
  EXPECT_EQ(source.path, temp / L"Q.V. \u00e9dition");
  WriteTestFile(temp / L"second.PKG", BuildTestPkg("", false));
  EXPECT_EQ(FailureOf(temp.path()), kSeveralPackages);
  TempFolder empty;
  EXPECT_EQ(FailureOf(empty.path()), kNoGameData);
}

TEST(ResolveGameSource, ArchivesUnderOtherNames) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteTestFile(dump / L"chunk1.psarc", "ZZZZ not an archive");
  WriteTestFile(dump / L"data.psarc", PsarcBytes());
  WriteTestFile(dump / L"\u30c6\u30af\u30b9\u30c1\u30e3.QAR", QarBytes());
  WriteTestFile(dump / L"PathID_List_orbis.bin", PathIdListBytes(true));
  GameSource source = ResolveGameSource(dump);
  EXPECT_EQ(source.files.chunk, dump / L"data.psarc");
  EXPECT_EQ(source.files.texture, dump / L"\u30c6\u30af\u30b9\u30c1\u30e3.QAR");
  EXPECT_EQ(source.files.path_id_list, dump / L"PathID_List_orbis.bin");
  EXPECT_EQ(source.files.notes,
            (std::vector<std::string>{
                "chunk1.psarc is named data.psarc in this release; installed as chunk1.psarc",
                "texture.qar is named \xE3\x83\x86\xE3\x82\xAF\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.QAR in this release; "
                "installed as texture.qar",
                "pathid_list_ps4.bin is named PathID_List_orbis.bin in this release; installed as pathid_list_ps4.bin",
            }));
}

TEST(ResolveGameSource, LargestFallbackWinsAndTiesGoToTheLastListed) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteTestFile(dump / L"texture.qar", QarBytes());
  WriteTestFile(dump / L"a.psarc", PsarcBytes(100));
  WriteTestFile(dump / L"b.psarc", PsarcBytes(100));
  WriteTestFile(dump / L"small.psarc", PsarcBytes(50));
  WriteTestFile(dump / L"huge.psarc", "ZZZZ" + std::string(500, 'z'));  // largest, but fails its test
  std::vector<std::wstring> listed = ListedNames(dump);
  std::wstring last_of_equal;
  for (const auto& name : listed) {
    if (name == L"a.psarc" || name == L"b.psarc") last_of_equal = name;
  }
  EXPECT_EQ(ResolveGameSource(dump).files.chunk, dump / last_of_equal);
}

TEST(ResolveGameSource, FileTestsDecideWhatCounts) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteTestFile(dump / L"chunk1.psarc", PsarcBytes());
  WriteTestFile(dump / L"texture.qar", QarBytes(36).substr(0, 35));
  EXPECT_EQ(FailureOf(dump), kNoGameData);
  WriteTestFile(dump / L"texture.qar", QarBytes(36));
  WriteParamSfo(dump, "CUSA09901");
  for (std::uint64_t size : {31ull, 67'108'864ull}) {
    WriteSizedFile(dump / L"pathid_list_ps4.bin", size);
    GameFiles files = ResolveGameSource(dump).files;
    EXPECT_TRUE(files.path_id_list.empty()) << size;
    EXPECT_EQ(files.notes, std::vector<std::string>{kMissingList}) << size;
  }
  WriteSizedFile(dump / L"pathid_list_ps4.bin", 32);
  EXPECT_EQ(ResolveGameSource(dump).files.path_id_list, dump / L"pathid_list_ps4.bin");
}

TEST(ResolveGameSource, ReleaseIdentification) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteGameArchives(dump, false);
  GameSource source = ResolveGameSource(dump);
  EXPECT_EQ(source.files.notes,
            (std::vector<std::string>{
                "no path list and no title ID: could not confirm this is Q.V.; installed because it has the Brask "
                "Engine archive pair",
                kMissingList}));
  WriteTestFile(dump / L"pathid_list_ps4.bin", PathIdListBytes(false));
  EXPECT_EQ(FailureOf(dump), "This folder holds another game (no Q.V. levels in its path list), not Q.V.");
  WriteParamSfo(dump, "CUSA12345");
  EXPECT_EQ(FailureOf(dump), "This folder holds another game (CUSA12345), not Q.V.");
  // Picking a file of another game's folder passes the refusal through.
  EXPECT_EQ(FailureOf(dump / L"texture.qar"), "This folder holds another game (CUSA12345), not Q.V.");
}

TEST(ResolveGameSource, AnotherGameEndsTheSearch) {
  TempFolder temp;
  auto other = temp / L"other";
  WriteGameArchives(other, false);
  WriteTestFile(other / L"pathid_list_ps4.bin", PathIdListBytes(false));
  WriteGameArchives(temp / L"other" / L"qv");  // one level further down
  EXPECT_EQ(FailureOf(temp.path()), "This folder holds another game (no Q.V. levels in its path list), not Q.V.");
}

TEST(ResolveGameSource, IdentifiersFromParamSfo) {
  struct Case {
    const char* name;
    const char* folder_title;
    const char* folder_content;
    const char* parent_title;
    const char* parent_content;
    const char* title;
    const char* content;
  } cases[] = {
      {"folder", "CUSA09903", "", "CUSA09902", "", "CUSA09903", ""},
      {"parent when both are missing", "", "", "CUSA09902", "JP0000-CUSA09902_00-X", "CUSA09902",
       "JP0000-CUSA09902_00-X"},
      {"derived from the folder's content", "", "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT", "CUSA09902", "", "CUSA09903",
       "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT"},
      {"derived from the parent's content", "", "", "", "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT", "CUSA09903",
       "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT"},
      {"16 bytes suffice", "", "EP4511-CUSA09903", "", "", "CUSA09903", "EP4511-CUSA09903"},
      {"15 bytes do not", "", "EP4511-CUSA0990", "", "", "", "EP4511-CUSA0990"},
      {"lower-case letters do not", "", "EP4511-cusa09903_00", "", "", "", "EP4511-cusa09903_00"},
      {"no hyphen at 6", "", "EP4511_CUSA09903_00", "", "", "", "EP4511_CUSA09903_00"},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    auto dump = temp / L"parent" / L"dump";
    WriteGameArchives(dump);
    WriteParamSfo(dump, c.folder_title, c.folder_content);
    WriteParamSfo(temp / L"parent", c.parent_title, c.parent_content);
    GameFiles files = ResolveGameSource(dump).files;
    EXPECT_EQ(files.title_id, c.title) << c.name;
    EXPECT_EQ(files.content_id, c.content) << c.name;
  }
}

TEST(ResolveGameSource, RenameNotesComeBeforeReleaseNotes) {
  TempFolder temp;
  auto dump = temp / L"dump";
  WriteTestFile(dump / L"data_ps4.psarc", PsarcBytes());
  WriteTestFile(dump / L"texture.qar", QarBytes());
  WriteParamSfo(dump, "CUSA09903");
  GameFiles files = ResolveGameSource(dump).files;
  ASSERT_EQ(files.notes.size(), 3u);
  EXPECT_EQ(files.notes[0], "chunk1.psarc is named data_ps4.psarc in this release; installed as chunk1.psarc");
  EXPECT_EQ(files.notes[1].rfind("CUSA09903 is the Europe release;", 0), 0u);
  EXPECT_EQ(files.notes[2], kMissingList);
}

TEST(ResolveGameSource, FileNameTests) {
  EXPECT_TRUE(HasFileExtension(".psarc", L"CHUNK1.PSARC"));
  EXPECT_TRUE(HasFileExtension(".psarc", L"dir.x\\chunk1.PsArc"));
  EXPECT_TRUE(HasFileExtension(".psarc", L"..psarc"));
  EXPECT_FALSE(HasFileExtension(".psarc", L".psarc"));  // the only dot leads the name
  EXPECT_FALSE(HasFileExtension(".psarc", L"chunk1.psarc.bak"));
  EXPECT_FALSE(HasFileExtension(".psarc", L"dir.psarc\\chunk1"));
  EXPECT_TRUE(IsPathIdListName(L"x\\My_PATHID_LIST.dat"));
  EXPECT_FALSE(IsPathIdListName(L"pathid_list\\list.bin"));
  EXPECT_THROW(HasFileExtension(".psarc", std::wstring(L"a.") + wchar_t(0xD800)), std::system_error);
}


// The user's files may be held open by another program without read sharing.
qv::setup::UniqueFile HoldExclusively(const fs::path& file) {
  return qv::setup::UniqueFile(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST(ResolveGameSource, UnreadableFilesAreNotTaken) {
  TempFolder temp;
  auto package = temp / L"game.pkg";
  WriteTestFile(package, BuildTestPkg("", false));
  {
    auto held = HoldExclusively(package);
    ASSERT_TRUE(held);
    EXPECT_EQ(FailureOf(package), kNotAPackage);
    EXPECT_EQ(FailureOf(temp.path()), kNoGameData);
  }
  EXPECT_EQ(ResolveGameSource(temp.path()).path, package);

  auto dump = temp / L"dump";
  WriteGameArchives(dump);
  auto held = HoldExclusively(dump / L"chunk1.psarc");
  ASSERT_TRUE(held);
  EXPECT_EQ(FailureOf(dump), kNoGameData);
}

TEST(ResolveGameSource, PathsBeyondTheOldLengthLimit) {
  TempFolder temp;
  fs::path deep = temp.path();
  while (deep.native().size() < 300) deep /= L"\u30d5\u30a9\u30eb\u30c0\u30fc-folder-name";
  CreateFolders(deep);
  for (const auto& [name, bytes] : {std::pair{L"chunk1.psarc", PsarcBytes()}, std::pair{L"texture.qar", QarBytes()}}) {
    UniqueFile file(::CreateFileW(ToLongPath((deep / name).native()).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  }
  GameSource source = ResolveGameSource(deep);
  EXPECT_EQ(source.path, deep);
  auto title = deep / L"install" / L"CUSA09901";
  CopyGameArchives(source.files, title);
  auto copied = ReadItemStatus(title / L"texture.qar");
  ASSERT_TRUE(copied);
  EXPECT_EQ(copied->size, QarBytes().size());
}

}  // namespace
