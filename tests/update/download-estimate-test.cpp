// Estimates of an update's download from the installation's records.

#include <gtest/gtest.h>

#include <string>

#include "support/temp-folder.h"
#include "update/download-estimate.h"

namespace {

using namespace qv::update;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

std::string Digest(char c) { return std::string(64, c); }

FileEntry Entry(const std::string& path, std::uint64_t size, char digest, std::uint64_t packed) {
  return FileEntry{path, size, Digest(digest), packed == 0 ? 0u : 4096u, packed};
}

UpdateManifest ManifestOf(std::uint64_t package_size, std::vector<FileEntry> files) {
  UpdateManifest manifest;
  manifest.version = "2.0.0";
  manifest.packages["windows"] = PackageInfo{"Q.V.PC.Rure.Setup.exe", package_size, Digest('e')};
  manifest.files["windows"] = std::move(files);
  return manifest;
}

std::string ManifestLine(char digest, const std::string& path) { return "file=" + Digest(digest) + " " + path + "\n"; }

class DownloadEstimate : public ::testing::Test {
 protected:
  // An installation of four files: "a" 10 bytes, "sub/b" 20, "c d" 30, "e" 40.
  void SetUp() override {
    WriteTestFile(install / L"a", std::string(10, 'x'));
    WriteTestFile(install / L"sub" / L"b", std::string(20, 'x'));
    WriteTestFile(install / L"c d", std::string(30, 'x'));
    WriteTestFile(install / L"e", std::string(40, 'x'));
  }
  void WriteInstallManifest(const std::string& lines) {
    WriteTestFile(install / L"qv-install-manifest.txt", "qv-port-install 1\nversion=1.1.0\n" + lines);
  }
  TempFolder install{L"qv-estimate"};
};

TEST_F(DownloadEstimate, CountsThePackedBytesOfWhatTheRecordsDoNotShowUnchanged) {
  WriteInstallManifest(ManifestLine('1', "a") + ManifestLine('2', "sub/b") + ManifestLine('3', "c d") +
                       ManifestLine('4', "e") + ManifestLine('5', "gone"));
  UpdateManifest manifest = ManifestOf(10000, {
                                                  Entry("a", 10, '1', 100),      // unchanged
                                                  Entry("sub/b", 20, '9', 200),  // another digest
                                                  Entry("c d", 31, '3', 300),    // another size
                                                  Entry("e", 40, '4', 400),      // unchanged
                                                  Entry("gone", 5, '5', 500),    // listed, but not there
                                                  Entry("new", 5, '6', 600),     // not listed
                                              });
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 200u + 300 + 500 + 600);
  // Nothing is hashed: the recorded digest and the size are all that count.
  WriteTestFile(install / L"a", std::string(10, 'y'));
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 200u + 300 + 500 + 600);
}

TEST_F(DownloadEstimate, WholeFileCases) {
  WriteInstallManifest(ManifestLine('1', "a"));
  EXPECT_EQ(EstimateDownloadBytes(ManifestOf(10000, {Entry("a", 10, '1', 100)}), "linux", install.path()), 0u);
  UpdateManifest no_files = ManifestOf(10000, {});
  EXPECT_EQ(EstimateDownloadBytes(no_files, "windows", install.path()), 10000u);
  no_files.files.clear();
  EXPECT_EQ(EstimateDownloadBytes(no_files, "windows", install.path()), 10000u);
  // A file that cannot be fetched by range brings the whole file, changed or not.
  EXPECT_EQ(EstimateDownloadBytes(ManifestOf(10000, {Entry("new", 1, '6', 5), Entry("a", 10, '1', 0)}), "windows",
                                  install.path()),
            10000u);
  // Exactly 0.7 of the file stays the sum; one byte more takes the whole file.
  EXPECT_EQ(EstimateDownloadBytes(ManifestOf(1000, {Entry("x", 1, '6', 300), Entry("y", 1, '6', 400)}), "windows",
                                  install.path()),
            700u);
  EXPECT_EQ(EstimateDownloadBytes(ManifestOf(1000, {Entry("x", 1, '6', 300), Entry("y", 1, '6', 401)}), "windows",
                                  install.path()),
            1000u);
  EXPECT_EQ(EstimateDownloadBytes(ManifestOf(10000, {Entry("a", 10, '1', 100)}), "windows", install.path()), 0u);
}

TEST_F(DownloadEstimate, InstallManifestLines) {
  WriteInstallManifest(ManifestLine('9', "a") +                          // replaced by a later line
                       "file=" + Digest('1') + " a\r\n" +                // carriage return dropped
                       "file=" + Digest('2') + " sub/b\r\r\n" +          // only one is dropped
                       "FILE=" + Digest('3') + " c d\n" +                // not a file line
                       "file=" + Digest('4') + " \n" +                   // 70 bytes: no path
                       "file=" + Digest('4').substr(1) + "  e\n");       // the digest runs into the separator
  UpdateManifest manifest = ManifestOf(100000, {Entry("a", 10, '1', 1), Entry("sub/b", 20, '2', 10),
                                                Entry("c d", 30, '3', 100), Entry("e", 40, '4', 1000)});
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 10u + 100 + 1000);
}

TEST_F(DownloadEstimate, FileListWithoutAnInstallManifest) {
  WriteTestFile(install / L"qv-files.json",
                R"({"format":1,"files":[{"path":"a","size":10,"sha256":")" + Digest('1') + R"("},)" +
                    R"({"path":"sub/b","sha256":")" + Digest('2') + R"("},)" +     // size not needed
                    R"({"path":5,"sha256":")" + Digest('3') + R"("},)" +           // path not a string
                    R"({"path":"e","sha256":")" + Digest('4').substr(1) + R"("}]})");  // 63 bytes
  UpdateManifest manifest = ManifestOf(100000, {Entry("a", 10, '1', 1), Entry("sub/b", 20, '2', 10),
                                                Entry("c d", 30, '3', 100), Entry("e", 40, '4', 1000)});
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1100u);

  // The install manifest, when there is one, is the only record read.
  WriteInstallManifest(ManifestLine('1', "a"));
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1110u);
}

TEST_F(DownloadEstimate, UnreadableRecordsShowNothingUnchanged) {
  UpdateManifest manifest = ManifestOf(100000, {Entry("a", 10, '1', 1), Entry("e", 40, '4', 1000)});
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1001u);  // no records
  WriteTestFile(install / L"qv-files.json", R"({"files":[{"path":"a","sha256":")" + Digest('1') + "\"}");
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1001u);  // cut short
  std::string huge = R"({"files":[{"path":"a","sha256":")" + Digest('1') + "\"}]}";
  huge += std::string(16u * 1024 * 1024 + 1 - huge.size(), ' ');
  WriteTestFile(install / L"qv-files.json", huge);
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1001u);  // larger than 16 MiB
  huge.resize(huge.size() - 1);
  WriteTestFile(install / L"qv-files.json", huge);
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1000u);  // 16 MiB exactly
  // An install manifest that is a folder shows nothing, and the file list is not asked.
  std::filesystem::create_directory(install / L"qv-install-manifest.txt");
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1001u);
}

TEST_F(DownloadEstimate, PathsThatLeaveTheFolderNeverCountAsInstalled) {
  TempFolder outside{L"qv-estimate-outside"};
  WriteTestFile(install / L"inner" / L"x", std::string(10, 'x'));
  const std::string escape = "../" + outside.path().filename().string() + "/y";
  WriteTestFile(outside / L"y", std::string(10, 'x'));
  WriteInstallManifest(ManifestLine('1', escape) + ManifestLine('2', "inner/../a") + ManifestLine('3', "\xff") +
                       ManifestLine('4', "sub"));
  UpdateManifest manifest = ManifestOf(100000, {Entry(escape, 10, '1', 1), Entry("inner/../a", 10, '2', 10),
                                                Entry("\xff", 1, '3', 100), Entry("sub", 0, '4', 1000)});
  EXPECT_EQ(EstimateDownloadBytes(manifest, "windows", install.path()), 1111u);
}

}  // namespace
