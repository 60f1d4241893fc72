#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/records/install-manifest.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::InstalledFile;
using qv::setup::ReadInstallManifest;
using qv::setup::WriteInstallManifest;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::WriteTestFile;

const std::string kDigestA(64, 'a');
const std::string kDigestB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string ManifestText(const TempFolder& temp) { return ReadTestFile(temp / L"qv-install-manifest.txt"); }

TEST(InstallManifest, WritesTheFormatExactly) {
  TempFolder temp;
  std::vector<InstalledFile> files{{"qv.exe", kDigestA}, {"shaders/a b.bin", kDigestB}, {"caf\xC3\xA9.txt", kDigestA}};
  WriteInstallManifest(temp.path(), "1.0.3", files, "D:\\Games\\My Dump\\CUSA09901");
  EXPECT_EQ(ManifestText(temp),
            "qv-port-install 1\nversion=1.0.3\nsource=D:\\Games\\My Dump\\CUSA09901\n"
            "file=" + kDigestA + " qv.exe\nfile=" + kDigestB + " shaders/a b.bin\nfile=" + kDigestA +
                " caf\xC3\xA9.txt\n");
  EXPECT_FALSE(fs::exists(temp / L"qv-install-manifest.txt.new"));

  auto manifest = ReadInstallManifest(temp.path());
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, "1.0.3");
  EXPECT_EQ(manifest->source, "D:\\Games\\My Dump\\CUSA09901");
  ASSERT_EQ(manifest->files.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(manifest->files[i].path, files[i].path);
    EXPECT_EQ(manifest->files[i].sha256, files[i].sha256);
  }
}

TEST(InstallManifest, SourceLineOnlyForOneLineText) {
  struct Case {
    std::string source;
    std::string expected;
  } cases[] = {
      {"", "qv-port-install 1\nversion=\n"},
      {"C:/dump", "qv-port-install 1\nversion=\nsource=C:/dump\n"},
      {"C:/dump\nfile=" + kDigestA + " ../evil", "qv-port-install 1\nversion=\n"},
      {"C:/dump\r", "qv-port-install 1\nversion=\n"},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    WriteInstallManifest(temp.path(), "", {}, c.source);
    EXPECT_EQ(ManifestText(temp), c.expected) << c.source;
  }
}

TEST(InstallManifest, SecondWriteReplacesTheFirst) {
  TempFolder temp;
  WriteInstallManifest(temp.path(), "1.0.0", {{"a", kDigestA}}, "first");
  WriteInstallManifest(temp.path(), "1.0.1", {}, "");
  EXPECT_EQ(ManifestText(temp), "qv-port-install 1\nversion=1.0.1\n");
  EXPECT_FALSE(fs::exists(temp / L"qv-install-manifest.txt.new"));
}

TEST(InstallManifest, UnwritableNewFileKeepsThePreviousManifest) {
  TempFolder temp;
  WriteInstallManifest(temp.path(), "1.0.0", {}, "");
  fs::create_directory(temp / L"qv-install-manifest.txt.new");  // a folder stands in the way
  EXPECT_EQ(ThrownMessage([&] { WriteInstallManifest(temp.path(), "2.0.0", {}, ""); }),
            "Could not write the install manifest.");
  EXPECT_EQ(ManifestText(temp), "qv-port-install 1\nversion=1.0.0\n");

  EXPECT_EQ(ThrownMessage([&] { WriteInstallManifest(temp / L"missing", "2.0.0", {}, ""); }),
            "Could not write the install manifest.");
}

TEST(InstallManifest, FailedRenameKeepsBothFiles) {
  TempFolder temp;
  WriteInstallManifest(temp.path(), "1.0.0", {}, "");
  const fs::path target = temp / L"qv-install-manifest.txt";
  // Held open without delete sharing, the manifest cannot be replaced.
  HANDLE held = ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    WriteInstallManifest(temp.path(), "2.0.0", {}, "");
    ADD_FAILURE() << "the rename should fail";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("rename"), std::string::npos) << error.what();
    EXPECT_EQ(error.path1(), temp / L"qv-install-manifest.txt.new");
    EXPECT_EQ(error.path2(), target);
    EXPECT_TRUE(error.code());
  }
  ::CloseHandle(held);
  EXPECT_EQ(ManifestText(temp), "qv-port-install 1\nversion=1.0.0\n");
  EXPECT_EQ(ReadTestFile(temp / L"qv-install-manifest.txt.new"), "qv-port-install 1\nversion=2.0.0\n");
}

TEST(InstallManifest, ReadingRules) {
  const std::string file70 = "file=" + kDigestA + " ";        // 70 bytes: no path
  const std::string file71 = "file=" + kDigestB + "_x";      // 71 bytes; byte 69 is not looked at
  struct Case {
    std::string text;
    bool is_manifest;
    std::string version;
    std::string source;
    std::vector<std::string> paths;
  } cases[] = {
      {"qv-port-install 1\n", true, "", "", {}},
      {"qv-port-install 1", true, "", "", {}},
      {"qv-port-install 1\r\nversion=1\n", false, "", "", {}},
      {"qv-port-install 1 \nversion=1\n", false, "", "", {}},
      {"QV-PORT-INSTALL 1\n", false, "", "", {}},
      {"", false, "", "", {}},
      {"\xEF\xBB\xBFqv-port-install 1\n", false, "", "", {}},
      {"qv-port-install 1\nversion=1.0.1\r\nversion=1.0.2\r\n\r\nsource=s1\nsource=\n", true, "1.0.2", "", {}},
      {"qv-port-install 1\nversion=\n", true, "", "", {}},
      {"qv-port-install 1\nversion\nsource\nfile=\n", true, "", "", {}},
      {"qv-port-install 1\n" + file70 + "\n" + file71 + "\r\n" + file71 + "\n\n", true, "", "", {"x", "x"}},
      {"qv-port-install 1\n#version=9\n version=9\nfile=" + kDigestA + " a b/c d\n", true, "", "", {"a b/c d"}},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    WriteTestFile(temp / L"qv-install-manifest.txt", c.text);
    auto manifest = ReadInstallManifest(temp.path());
    ASSERT_EQ(manifest.has_value(), c.is_manifest) << c.text;
    if (!manifest) continue;
    EXPECT_EQ(manifest->version, c.version) << c.text;
    EXPECT_EQ(manifest->source, c.source) << c.text;
    std::vector<std::string> paths;
    for (const auto& file : manifest->files) paths.push_back(file.path);
    EXPECT_EQ(paths, c.paths) << c.text;
  }
  // The digest of a 71-byte line is bytes 5 to 68.
  TempFolder temp;
  WriteTestFile(temp / L"qv-install-manifest.txt", "qv-port-install 1\n" + file71 + "\n");
  EXPECT_EQ(ReadInstallManifest(temp.path())->files.at(0).sha256, kDigestB);
}

TEST(InstallManifest, UnsafeFilePathsAreRefused) {
  for (const char* path : {"../evil.dll", "a/../../b", "C:\\Windows\\x", "/abs", "\\\\server\\share\\x", "C:rel",
                           "qv.exe:stream", "./a", "a\\..\\..\\b"}) {
    TempFolder temp;
    WriteTestFile(temp / L"qv-install-manifest.txt",
                  "qv-port-install 1\nfile=" + kDigestA + " ok\nfile=" + kDigestA + " " + path + "\n");
    EXPECT_EQ(ThrownMessage([&] { ReadInstallManifest(temp.path()); }), "Unsafe payload path.") << path;
  }
}

TEST(InstallManifest, AFolderInPlaceOfTheManifestIsNoManifest) {
  TempFolder temp;
  fs::create_directory(temp / L"qv-install-manifest.txt");
  EXPECT_FALSE(ReadInstallManifest(temp.path()));
  EXPECT_FALSE(ReadInstallManifest(temp / L"missing"));
}

}  // namespace
