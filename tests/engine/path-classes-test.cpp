#include "engine/path-classes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

struct NameCase {
  const char* path;
  bool expected;
};

TEST(PathClasses, PathKeyFoldsOnlyAsciiCapitalsAndBackslashes) {
  EXPECT_EQ(PathKey("Mods\\Pack/A.PAK"), "mods/pack/a.pak");
  // Nothing else changes: non-ASCII letters, dots, blanks, doubled separators.
  EXPECT_EQ(PathKey("\xC3\x84/./..//X. "), "\xC3\x84/./..//x. ");
  EXPECT_EQ(PathKey(""), "");
}

TEST(PathClasses, PreservedUserPaths) {
  const NameCase cases[] = {
      {"Mods\\pack\\a.pak", true},
      {"SAVES/1.sav", true},
      {"Screenshots/x.png", true},
      {"photos/a.jpg", true},
      {"Enhanced-Textures/t.dds", true},
      {"data/qv.ini", true},
      {"DATA./x", true},
      {"data /x", true},
      {"data", true},
      {"Data\\saves\\slot.dat", true},
      {"mods", false},
      {"savesx/a", false},
      {"mods/", true},
      {"saves/", true},
      {"CUSA09901/", true},
      {"CUSA09901/chunk1.psarc", true},
      {"cusa09903/anything", true},
      {"CUSA09902\\x", true},
      {"abcd12345-old/x", true},
      {"CUSA09901", false},
      {"CUSA099011/x", false},
      {"CUSA0990/x", false},
      {"sub/CUSA09901/x", false},
      {"qv-dlssg-route.json", true},
      {"DLSSG_SM86.INI", true},
      {"dlssg_sm86/runtime/x.dll", true},
      {"dlssg_sm86", false},
      {"sub/qv-dlssg-route.json", false},
      {"qv.ini", true},
      {"QV.INI", true},
      {"a.log", true},
      {"sub/dir/b.LOG", true},
      {".log", true},
      {"log", false},
      {"install-notes.txt", true},
      {"icon0.png", true},
      {"sce_sys/icon0.png", false},
      {"qv.ini.bak", false},
      {"qv.exe", false},
      {"extractor/QV.PkgExtract.dll", false},
      {"", false},
  };
  for (const NameCase& c : cases) EXPECT_EQ(IsPreservedUserPath(c.path), c.expected) << c.path;
}

TEST(PathClasses, GameDataPathsDependOnTheRoots) {
  const std::vector<std::string> top{""};
  const NameCase at_top[] = {
      {"chunk1.psarc", true},      {"Texture.QAR", true},       {"pathid_list_ps4.bin", true},
      {"source.txt", true},        {"sce_sys/param.sfo", true}, {"SCE_SYS\\icon0.png", true},
      {"sce_sys", false},          {"sub/chunk1.psarc", false}, {"cusa09901/readme.txt", false},
      {"chunk1.psarc.bak", false},
  };
  for (const NameCase& c : at_top) EXPECT_EQ(IsGameDataPath(c.path, top), c.expected) << c.path;

  const std::vector<std::string> both{"", "CUSA09901/"};
  EXPECT_TRUE(IsGameDataPath("cusa09901/readme.txt", both));
  EXPECT_TRUE(IsGameDataPath("CUSA09901\\sub\\x", both));
  EXPECT_TRUE(IsGameDataPath("chunk1.psarc", both));
  EXPECT_FALSE(IsGameDataPath("CUSA09901", both));
  EXPECT_FALSE(IsGameDataPath("CUSA099011/x", both));

  // A root below the top covers only its own folder, not the top's names.
  const std::vector<std::string> nested{"dump/CUSA09901/"};
  EXPECT_TRUE(IsGameDataPath("Dump/cusa09901/chunk1.psarc", nested));
  EXPECT_FALSE(IsGameDataPath("chunk1.psarc", nested));
  EXPECT_FALSE(IsGameDataPath("dump/x", nested));

  EXPECT_FALSE(IsGameDataPath("chunk1.psarc", {}));
  EXPECT_FALSE(IsGameDataPath("CUSA09901/x", {}));
}

// In an installation whose folders "game/" and "extractor/" hold the game's
// archive pair, all in them is the game's but the port's own program files.
TEST(PathClasses, OwnerInAnInstallationKnowsItsGameDataRoots) {
  using qv::setup::NameOwner;
  using qv::setup::OwnerOfName;
  const std::vector<std::string> roots{"CUSA09901/", "game/", "extractor/"};
  const struct {
    const char* path;
    NameOwner alone;
    NameOwner in_installation;
  } cases[] = {
      {"game/readme.txt", NameOwner::kPort, NameOwner::kGame},
      {"Game\\sub\\x.bin", NameOwner::kPort, NameOwner::kGame},
      {"game/chunk1.psarc", NameOwner::kGame, NameOwner::kGame},
      {"extractor/QV.PkgExtract.dll", NameOwner::kPort, NameOwner::kPort},
      {"Extractor/QV.PkgExtract.dll", NameOwner::kPort, NameOwner::kGame},
      {"extractor/sce_sys/pic1.png", NameOwner::kGame, NameOwner::kGame},
      {"a/b/PathID_List_PS4.bin", NameOwner::kGame, NameOwner::kGame},
      {"games/readme.txt", NameOwner::kPort, NameOwner::kPort},
      {"game", NameOwner::kPort, NameOwner::kPort},
      {"sub/sce_sys", NameOwner::kPort, NameOwner::kPort},
      {"sub/source.txt", NameOwner::kPort, NameOwner::kPort},
      {"game/qv.ini", NameOwner::kPort, NameOwner::kGame},
      {"qv.ini", NameOwner::kPlayer, NameOwner::kPlayer},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OwnerOfName(c.path), c.alone) << c.path;
    EXPECT_EQ(OwnerOfName(c.path, roots), c.in_installation) << c.path;
  }
}

TEST(PathClasses, GameDataRootNeedsBothArchivesAsFiles) {
  TempFolder temp;
  WriteTestFile(temp / L"pair" / L"chunk1.psarc", "x");
  WriteTestFile(temp / L"pair" / L"texture.qar", "");  // content is not looked at
  WriteTestFile(temp / L"no-chunk" / L"texture.qar", "x");
  fs::create_directories(temp / L"chunk-folder" / L"chunk1.psarc");
  WriteTestFile(temp / L"chunk-folder" / L"texture.qar", "x");
  WriteTestFile(temp / L"no-texture" / L"chunk1.psarc", "x");
  fs::create_directories(temp / L"texture-folder" / L"texture.qar");
  WriteTestFile(temp / L"texture-folder" / L"chunk1.psarc", "x");

  EXPECT_TRUE(IsGameDataRoot(temp / L"pair"));
  for (const wchar_t* name : {L"no-chunk", L"chunk-folder", L"no-texture", L"texture-folder", L"missing"}) {
    EXPECT_FALSE(IsGameDataRoot(temp / name)) << fs::path(name);
  }
  EXPECT_FALSE(IsGameDataRoot(fs::path()));
}

TEST(PathClasses, PortOwnedFilesCompareBytesExactly) {
  const NameCase cases[] = {
      {"qv", true},
      {"qv.exe", true},
      {"libxess.dll", true},
      {"manifest.json", true},
      {"nvngx_dlss.dll", true},
      {"README-UPDATE.txt", true},
      {"amd_fidelityfx_vk.dll", true},
      {"voice/cmudict-en-us.dict", true},
      {"extractor/any.dll", true},
      {"shaders/a.frag.spv", true},
      {"shaders/sub/b.spv", true},
      {"voice/vosk/model/x", true},
      {"voice/en-us/y", true},
      {"vera_date/y", true},
      {"QV.EXE", false},
      {"readme-update.txt", false},
      {"Extractor/any.dll", false},
      {"extractor\\any.dll", false},
      {"shaders/a.glsl", false},
      {"shaders/", false},
      {"shaders/.SPV", false},
      {"voice/other.bin", false},
      {"voice/vosk", false},
      {"qv.exe.old", false},
      {"", false},
  };
  for (const NameCase& c : cases) EXPECT_EQ(IsPortOwnedFile(c.path), c.expected) << c.path;
}

TEST(PathClasses, FoldersThatCanHoldPortFiles) {
  const NameCase cases[] = {
      {"", true},
      {"voice", true},
      {"voice/vosk", true},
      {"voice/vosk/model/deep", true},
      {"voice/en-us", true},
      {"extractor", true},
      {"extractor/x", true},
      {"vera_date", true},
      {"shaders", true},
      {"shaders/a/b", true},
      {"data", false},
      {"mods", false},
      {"voice/other", false},
      {"voices", false},
      {"Extractor", false},
      {"CUSA09901", false},
  };
  for (const NameCase& c : cases) EXPECT_EQ(CanHoldPortOwnedFiles(c.path), c.expected) << c.path;
  // Every folder on the way to a port file may hold one.
  for (std::string file : {"voice/cmudict-en-us.dict", "voice/vosk/a/b/c", "shaders/x/y.spv", "extractor/a/b.dll"}) {
    for (size_t slash = file.find('/'); slash != std::string::npos; slash = file.find('/', slash + 1)) {
      EXPECT_TRUE(CanHoldPortOwnedFiles(file.substr(0, slash))) << file.substr(0, slash);
    }
  }
}

TEST(PathClasses, ProxyDllNamesOnlyAtTheTop) {
  const NameCase cases[] = {
      {"WINMM.dll", true},     {"dbghelp.dll", true},    {"Version.DLL", true},
      {"version.dll", true},   {"dxgi.dll", false},      {"plugins/version.dll", false},
      {"version.dll ", false}, {"\\version.dll", false}, {"", false},
  };
  for (const NameCase& c : cases) EXPECT_EQ(IsProxyDllName(c.path), c.expected) << c.path;
}

TEST(PathClasses, FrameGenMarker) {
  TempFolder temp;
  const std::string marker(FrameGenMarker);
  WriteTestFile(temp / L"start.dll", marker + std::string(100, 'x'));
  WriteTestFile(temp / L"end.dll", std::string(100, '\0') + marker);
  WriteTestFile(temp / L"exact.dll", marker);
  WriteTestFile(temp / L"nine.dll", marker.substr(0, 9));
  WriteTestFile(temp / L"other.dll", std::string(1000, 'd') + "dlssg_sm8" + "6x" + "DLSSG_SM86");
  WriteTestFile(temp / L"almost.dll", "dlssg_sm8 dlssg_sm87");
  fs::create_directories(temp / L"version.dll");
  EXPECT_TRUE(ContainsFrameGenMarker(temp / L"start.dll"));
  EXPECT_TRUE(ContainsFrameGenMarker(temp / L"end.dll"));
  EXPECT_TRUE(ContainsFrameGenMarker(temp / L"exact.dll"));
  EXPECT_TRUE(ContainsFrameGenMarker(temp / L"other.dll"));
  EXPECT_FALSE(ContainsFrameGenMarker(temp / L"nine.dll"));
  EXPECT_FALSE(ContainsFrameGenMarker(temp / L"almost.dll"));
  EXPECT_FALSE(ContainsFrameGenMarker(temp / L"version.dll"));
  EXPECT_FALSE(ContainsFrameGenMarker(temp / L"missing.dll"));
}

// Files are read in pieces; a marker across the seam of two pieces still counts.
TEST(PathClasses, FrameGenMarkerAcrossPieces) {
  TempFolder temp;
  const std::string marker(FrameGenMarker);
  for (size_t split = 1; split < marker.size(); split += 4) {
    const size_t piece = 4u << 20;
    std::string bytes(piece - split, 'z');
    bytes += marker + "tail";
    fs::path file = temp / (L"seam" + std::to_wstring(split) + L".dll");
    WriteTestFile(file, bytes);
    EXPECT_TRUE(ContainsFrameGenMarker(file)) << split;
  }
}

// Sizes are taken from the file system; the large files are sparse-like (their
// tail is never written), so the test stays fast.
TEST(PathClasses, FrameGenMarkerSizeLimit) {
  TempFolder temp;
  const std::string marker(FrameGenMarker);
  const fs::path at_limit = temp / L"at-limit.dll";
  const fs::path over = temp / L"over.dll";
  WriteTestFile(at_limit, marker);
  WriteTestFile(over, marker);
  fs::resize_file(at_limit, kFrameGenMarkerMaxFileBytes);
  fs::resize_file(over, kFrameGenMarkerMaxFileBytes + 1);
  EXPECT_TRUE(ContainsFrameGenMarker(at_limit));
  EXPECT_FALSE(ContainsFrameGenMarker(over));

  // The last bytes of a file of exactly 64 MiB are read too.
  const fs::path tail = temp / L"tail.dll";
  WriteTestFile(tail, "");
  fs::resize_file(tail, kFrameGenMarkerMaxFileBytes - marker.size());
  {
    std::FILE* file = _wfopen(tail.c_str(), L"ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(marker.data(), 1, marker.size(), file);
    std::fclose(file);
  }
  ASSERT_EQ(fs::file_size(tail), kFrameGenMarkerMaxFileBytes);
  EXPECT_TRUE(ContainsFrameGenMarker(tail));
}

}  // namespace
