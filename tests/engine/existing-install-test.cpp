#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/paths.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ExistingInstall;
using qv::setup::kReparseTagMountPoint;
using qv::setup::kReparseTagSymlink;
using qv::setup::PortVersionFromHash;
using qv::setup::ProbePortableCopy;
using qv::setup::ReadExistingInstall;
using qv::setup::WriteGameArchives;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::ViewWithReparsePoints;
using qv::test::WriteTestFile;

const std::string kNeverOverwrite = "Choose a new installation folder. Existing folders are never overwritten.";
const std::string kSomethingElse =
    "This folder holds something else. Choose a new installation folder, or a folder with a Q.V. install to "
    "update it.";
const std::string kRelease103 = "7b9eb545291cc0f269ecf90837670ff421acb7593654a9897077c12a21247fb9";
const std::string kDigest(64, 'c');

std::string FilesJson(const std::vector<std::string>& paths) {
  std::string text = "{\"format\": 1, \"files\": [";
  for (size_t i = 0; i < paths.size(); ++i) {
    text += (i ? ", " : "") + std::string("{\"path\": \"") + paths[i] + "\", \"size\": 1, \"sha256\": \"" + kDigest +
            "\"}";
  }
  return text + "]}\n";
}

TEST(ExistingInstall, FreshDestinations) {
  TempFolder temp;
  for (const fs::path& destination : {temp / L"missing", temp / L"missing" / L"deeper", temp.path()}) {
    ExistingInstall found = ReadExistingInstall(destination);
    EXPECT_FALSE(found.is_install) << destination;
    EXPECT_FALSE(found.has_manifest);
    EXPECT_TRUE(found.listed_files.empty());
  }
}

TEST(ExistingInstall, FileOrLinkInPlaceOfTheFolderIsRefused) {
  TempFolder temp;
  WriteTestFile(temp / L"file", "x");
  EXPECT_EQ(ThrownMessage([&] { ReadExistingInstall(temp / L"file"); }), kNeverOverwrite);

  // A symbolic link to a folder, seen through an attribute query that reports it so.
  fs::create_directories(temp / L"link");
  WriteTestFile(temp / L"link" / L"qv.exe", "x");
  auto links = ViewWithReparsePoints({{temp / L"link", kReparseTagSymlink}});
  EXPECT_EQ(ThrownMessage([&] { ReadExistingInstall(temp / L"link", links); }), kNeverOverwrite);
  // A junction passes this probe (the destination check refuses it).
  auto junctions = ViewWithReparsePoints({{temp / L"link", kReparseTagMountPoint}});
  EXPECT_EQ(ThrownMessage([&] { ReadExistingInstall(temp / L"link", junctions); }), kSomethingElse);
}

TEST(ExistingInstall, InstallationWithManifest) {
  TempFolder temp;
  // The header line may not end in CR; the later lines may.
  WriteTestFile(temp / L"qv-install-manifest.txt",
                "qv-port-install 1\nversion=1.0.2\r\nsource=C:/Dumps/CUSA09901\r\n"
                "file=" + kDigest + " qv.exe\r\n"
                "file=" + kDigest + " data/settings.ini\n"
                "file=" + kDigest + " DATA/x\n"
                "file=" + kDigest + " Data. /y\n"
                "file=" + kDigest + " database/z\n"
                "file=" + kDigest + " qv.exe\n"
                "version=1.0.3\n");
  WriteTestFile(temp / L"qv-files.json", FilesJson({"qv.exe", "shaders/a.bin"}));
  ExistingInstall found = ReadExistingInstall(temp.path());
  EXPECT_TRUE(found.is_install);
  EXPECT_TRUE(found.has_manifest);
  EXPECT_FALSE(found.portable);
  EXPECT_EQ(found.version, "1.0.3");
  EXPECT_EQ(found.source, "C:/Dumps/CUSA09901");
  std::vector<std::string> paths;
  for (const auto& file : found.manifest_files) paths.push_back(file.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"qv.exe", "database/z", "qv.exe"}));
  ASSERT_EQ(found.listed_files.size(), 2u);
  EXPECT_EQ(found.listed_files[1].name, "shaders/a.bin");
}

// An installation deeper than MAX_PATH reads like any other: with its
// manifest and file list, not as "something else".
TEST(ExistingInstall, InstallationBeyondMaxPath) {
  TempFolder temp;
  const fs::path install = qv::test::MakeDeepFolder(temp.path(), 300) / L"Q.V. DU Vora";
  ASSERT_GT(install.native().size(), 260u);
  qv::setup::WriteFixtureFile(install / L"qv.exe", "game");
  qv::setup::WriteInstallManifest(install, "1.0.3", {{"qv.exe", kDigest}}, "");
  qv::setup::WriteFixtureFile(install / L"qv-files.json", FilesJson({"qv.exe", "shaders/a.bin"}));
  // Named as given and in the "\\?\" form.
  for (const fs::path& name : {install, fs::path(qv::setup::ToLongPath(install.native()))}) {
    SCOPED_TRACE(name.string());
    const ExistingInstall found = ReadExistingInstall(name);
    EXPECT_TRUE(found.is_install);
    EXPECT_TRUE(found.has_manifest);
    EXPECT_EQ(found.version, "1.0.3");
    ASSERT_EQ(found.manifest_files.size(), 1u);
    EXPECT_EQ(found.manifest_files[0].path, "qv.exe");
    ASSERT_EQ(found.listed_files.size(), 2u);
    EXPECT_EQ(found.listed_files[1].name, "shaders/a.bin");
  }
}

TEST(ExistingInstall, ManifestWithoutFileListAndWithoutVersion) {
  TempFolder temp;
  WriteTestFile(temp / L"qv-install-manifest.txt", "qv-port-install 1\nversion=\n");
  WriteTestFile(temp / L"qv-files.json", "[]");
  ExistingInstall found = ReadExistingInstall(temp.path());
  EXPECT_TRUE(found.has_manifest);
  EXPECT_TRUE(found.version.empty());
  EXPECT_TRUE(found.listed_files.empty());
}

TEST(ExistingInstall, UnsafeManifestPathEndsTheProbe) {
  TempFolder temp;
  WriteTestFile(temp / L"qv-install-manifest.txt", "qv-port-install 1\nfile=" + kDigest + " ../../Windows/x.dll\n");
  EXPECT_EQ(ThrownMessage([&] { ReadExistingInstall(temp.path()); }), "Unsafe payload path.");
}

TEST(ExistingInstall, OlderInstallationsAndOtherFolders) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> build;
    bool is_install;  // otherwise refused as something else
  } cases[] = {
      {"archives in CUSA09901",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteGameArchives(d / L"CUSA09901");
       },
       true},
      {"archives in another title folder",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteGameArchives(d / L"cusa09903");
       },
       true},
      {"archive files by name only in CUSA09901",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"CUSA09901" / L"chunk1.psarc", "");
         WriteTestFile(d / L"CUSA09901" / L"texture.qar", "");
       },
       true},
      {"manifest header ending in CR",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv-install-manifest.txt", "qv-port-install 1\r\nversion=9\n");
         WriteTestFile(d / L"qv.exe", "x");
         WriteGameArchives(d / L"CUSA09901");
       },
       true},
      {"no texture archive",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"CUSA09901" / L"chunk1.psarc", "PSAR");
       },
       false},
      {"archives in a folder without a title identifier",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteGameArchives(d / L"MyGame");
       },
       false},
      {"no game executable",
       [](const fs::path& d) { WriteGameArchives(d / L"CUSA09901"); },
       false},
      {"game executable is a folder",
       [](const fs::path& d) {
         fs::create_directories(d / L"qv.exe");
         WriteGameArchives(d / L"CUSA09901");
       },
       false},
      {"someone's documents", [](const fs::path& d) { WriteTestFile(d / L"letter.txt", "x"); }, false},
      {"manifest header ending in CR, nothing else",
       [](const fs::path& d) { WriteTestFile(d / L"qv-install-manifest.txt", "qv-port-install 1\r\n"); },
       false},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    c.build(temp.path());
    WriteTestFile(temp / L"qv-files.json", FilesJson({"qv.exe"}));
    if (c.is_install) {
      ExistingInstall found = ReadExistingInstall(temp.path());
      EXPECT_TRUE(found.is_install) << c.name;
      EXPECT_FALSE(found.has_manifest) << c.name;
      EXPECT_TRUE(found.version.empty()) << c.name;
      EXPECT_TRUE(found.manifest_files.empty()) << c.name;
      EXPECT_EQ(found.listed_files.size(), 1u) << c.name;
    } else {
      EXPECT_EQ(ThrownMessage([&] { ReadExistingInstall(temp.path()); }), kSomethingElse) << c.name;
    }
  }
}

TEST(ExistingInstall, PortableCopyReadsAsAnInstallationWithoutManifest) {
  TempFolder temp;
  WriteTestFile(temp / L"qv.exe", "x");
  WriteGameArchives(temp / L"CUSA09901");
  WriteTestFile(temp / L"qv-files.json", FilesJson({"qv.exe", "CUSA09901/x"}));
  ExistingInstall found = ReadExistingInstall(temp.path());
  EXPECT_TRUE(found.is_install);
  EXPECT_FALSE(found.has_manifest);
  EXPECT_FALSE(found.portable);  // only the portable probe says so
  EXPECT_EQ(found.listed_files.size(), 2u);
  EXPECT_TRUE(ProbePortableCopy(temp.path(), nullptr).portable);
}

TEST(PortableCopy, RecognisedByItsFileList) {
  TempFolder temp;
  WriteTestFile(temp / L"qv.exe", "x");
  WriteTestFile(temp / L"qv-files.json", FilesJson({"shaders/a.bin", "qv.exe"}));
  std::vector<fs::path> hashed;
  ExistingInstall found = ProbePortableCopy(temp.path(), [&](const fs::path& path) {
    hashed.push_back(path);
    return kRelease103;
  });
  EXPECT_TRUE(found.portable);
  EXPECT_TRUE(found.is_install);
  EXPECT_FALSE(found.has_manifest);
  EXPECT_EQ(found.version, "1.0.3");
  EXPECT_EQ(found.listed_files.size(), 2u);
  EXPECT_EQ(hashed, (std::vector<fs::path>{temp / L"qv.exe"}));

  // Another executable, a failing hasher and no hasher: still portable, version unknown.
  const std::function<std::string(const fs::path&)> hashers[] = {
      [](const fs::path&) { return std::string(64, '0'); },
      [](const fs::path&) -> std::string { throw std::runtime_error("Could not read or hash this file"); },
      nullptr,
  };
  for (const auto& hasher : hashers) {
    ExistingInstall other = ProbePortableCopy(temp.path(), hasher);
    EXPECT_TRUE(other.portable);
    EXPECT_TRUE(other.version.empty());
    EXPECT_EQ(other.listed_files.size(), 2u);
  }
}

TEST(PortableCopy, EverythingElseIsNotOne) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> build;
  } cases[] = {
      {"executable listed in other letter case",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"qv-files.json", FilesJson({"QV.EXE"}));
       }},
      {"executable listed only in a sub-folder",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"qv-files.json", FilesJson({"bin/qv.exe"}));
       }},
      {"no file list",
       [](const fs::path& d) { WriteTestFile(d / L"qv.exe", "x"); }},
      {"invalid file list",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"qv-files.json", FilesJson({"qv.exe", "../x"}));
       }},
      {"no executable",
       [](const fs::path& d) { WriteTestFile(d / L"qv-files.json", FilesJson({"qv.exe"})); }},
      {"executable is a folder",
       [](const fs::path& d) {
         fs::create_directories(d / L"qv.exe");
         WriteTestFile(d / L"qv-files.json", FilesJson({"qv.exe"}));
       }},
      {"an installation (any manifest file)",
       [](const fs::path& d) {
         WriteTestFile(d / L"qv.exe", "x");
         WriteTestFile(d / L"qv-files.json", FilesJson({"qv.exe"}));
         WriteTestFile(d / L"qv-install-manifest.txt", "not even a header");
       }},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    c.build(temp.path());
    ExistingInstall found = ProbePortableCopy(temp.path(), [](const fs::path&) { return kRelease103; });
    EXPECT_FALSE(found.portable) << c.name;
    EXPECT_FALSE(found.is_install) << c.name;
    EXPECT_TRUE(found.version.empty()) << c.name;
    EXPECT_TRUE(found.listed_files.empty()) << c.name;
  }

  TempFolder temp;
  EXPECT_FALSE(ProbePortableCopy(temp / L"missing", nullptr).is_install);
  WriteTestFile(temp / L"file", "x");
  EXPECT_FALSE(ProbePortableCopy(temp / L"file", nullptr).is_install);
  WriteTestFile(temp / L"copy" / L"qv.exe", "x");
  WriteTestFile(temp / L"copy" / L"qv-files.json", FilesJson({"qv.exe"}));
  EXPECT_TRUE(ProbePortableCopy(temp / L"copy", nullptr).portable);
  auto links = ViewWithReparsePoints({{temp / L"copy", kReparseTagSymlink}});
  EXPECT_FALSE(ProbePortableCopy(temp / L"copy", nullptr, links).is_install);
}

TEST(PortableCopy, VersionFromTheExecutableDigest) {
  struct Case {
    std::string digest;
    std::string version;
  } cases[] = {
      {"f7d30578466f00d1105dfbb1822e0c7acd88483a9f0308b80a00fc1704af9da9", "1.0.0"},
      {"dde93dfaff019034c5cdf4d2394694be8998be884c67c99159c6425925be9e91", "1.0.1"},
      {"b7f23c929e86474c4c3cbac9d145fa66e6f283bc76ffa9a245cb6f92c1a88bf5", "1.0.2"},
      {kRelease103, "1.0.3"},
      {"7B9EB545291CC0F269ECF90837670FF421ACB7593654A9897077C12A21247FB9", ""},
      {kRelease103.substr(0, 63), ""},
      {kRelease103 + "0", ""},
      {kRelease103 + "\n", ""},
      {"", ""},
      {std::string(64, '0'), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PortVersionFromHash(c.digest), c.version) << c.digest;
  }
}

}  // namespace
