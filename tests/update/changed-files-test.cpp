// ObtainChangedFiles, the engine's listed extraction in an update: by range
// requests into the test release on the test server, and from the whole setup
// file when the server does not serve parts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download-fixtures.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
#include "support/test-server.h"
#include "support/thrown.h"
#include "support/updater-log-lines.h"
#include "update/download/changed-files.h"

namespace {

using namespace qv::setup;
using qv::test::DownloadRunTest;
using qv::test::LoggedRequest;

using ChangedFiles = DownloadRunTest;

std::vector<LoggedRequest> Requests(const std::string& name) { return qv::test::TestServerLogFor("/files/" + name); }

TEST_F(ChangedFiles, PartsGiveTheFilesWithTheManifestsDigests) {
  ServeRelease("changed-parts.exe");
  const std::vector<std::string> paths = {"qv.exe", "shaders/post.spv", "voice/modèle.bin"};
  const std::vector<InstalledFile> files = ObtainChangedFiles(run, staging, Wanted(paths));

  ASSERT_EQ(files.size(), 3u);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i].path, paths[i]);
    EXPECT_EQ(files[i].sha256, Wanted({paths[i]})[0].sha256);
    EXPECT_EQ(HashFile(staging / qv::setup::PathFromUtf8(paths[i])), files[i].sha256) << paths[i];
  }
  EXPECT_EQ(FilesBelow(staging), paths);
  EXPECT_TRUE(run.parts);
  EXPECT_TRUE(result.parts);
  EXPECT_EQ(staged, std::vector<std::filesystem::path>{staging});
  // "qv.exe" and "shaders/post.spv" lie close together; "voice/modèle.bin" right after them.
  const std::vector<LoggedRequest> log = Requests(name);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].range, "-");
  EXPECT_EQ(result.requests, 1);
  EXPECT_EQ(result.bytes_downloaded, log[0].sent);
  EXPECT_TRUE(run.downloaded_package.empty());
}

TEST_F(ChangedFiles, RangeIgnoredTakesTheWholeFileOnceAndExtractsOnlyTheWantedEntries) {
  // The first group (README.md, at the payload's start) is served as asked,
  // the second (voice/modèle.bin, behind the large program) whole.
  ServeRelease("changed-whole.exe", "ranges=ignore&skip=1");
  const std::vector<std::string> paths = {"README.md", "voice/modèle.bin"};
  const std::vector<InstalledFile> files = ObtainChangedFiles(run, staging, Wanted(paths));

  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, "README.md");
  EXPECT_EQ(files[1].path, "voice/modèle.bin");
  EXPECT_EQ(FilesBelow(staging), paths);  // what the range attempt wrote made room for the extraction
  EXPECT_FALSE(run.parts);
  EXPECT_FALSE(result.parts);
  std::vector<LoggedRequest> log = Requests(name);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].status, "206");
  EXPECT_EQ(log[1].status, "200");  // the range answered whole: dropped after what had arrived of it
  EXPECT_EQ(log[2].range, "-");     // the whole file, asked as such
  EXPECT_EQ(log[2].sent, setup_bytes.size());
  EXPECT_EQ(result.requests, 3);
  // The dropped answer's bytes that arrived count as well.
  EXPECT_GT(result.bytes_downloaded, log[0].sent + setup_bytes.size());
  EXPECT_LE(result.bytes_downloaded, log[0].sent + log[1].sent + setup_bytes.size());
  EXPECT_EQ(FilesBelow(run.download_folder), std::vector<std::string>{"Q.V.PC.Rure.Setup.exe"});

  // A second call (the engine fetching damaged files again) asks nothing.
  const std::filesystem::path repair = temp / L"games" / L".qv-update-fix-test";
  const std::vector<InstalledFile> again = ObtainChangedFiles(run, repair, Wanted({"qv.exe"}));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(FilesBelow(repair), std::vector<std::string>{"qv.exe"});
  EXPECT_EQ(Requests(name).size(), 3u);
  EXPECT_EQ(result.requests, 3);
}

// Why the parts gave way to the whole file goes to the update log, so that a
// whole download that fails afterwards is not all the log tells.
TEST_F(ChangedFiles, TheReasonForTheWholeFileIsLogged) {
  const struct {
    const char* name;
    const char* query;
    const char* reason;
  } cases[] = {
      {"changed-other-part.exe", "shift=1", "localhost answered another part of the file than the one asked for"},
      {"changed-ignored.exe", "ranges=ignore", "localhost does not serve parts of a file"},
  };
  std::filesystem::create_directories(game / L"data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(game / L"data" / L"qv-update.log");
    run.parts = true;
    run.downloaded_package.clear();
    platform.close_package();
    run.payload = {nullptr, 0};
    std::filesystem::remove_all(run.download_folder);
    std::filesystem::remove_all(staging);
    std::filesystem::create_directories(staging);
    ServeRelease(c.name, c.query);
    const std::vector<InstalledFile> files = ObtainChangedFiles(run, staging, Wanted({"qv.exe"}));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(run.parts);
    const std::string line = "parts of the package could not be fetched (" + std::string(c.reason) +
                             "); the whole package is downloaded instead";
    const std::vector<std::string> log = qv::test::UpdateLogLines(game);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].substr(std::string("YYYY-MM-DD hh:mm:ss ").size()), line);
  }
}

TEST_F(ChangedFiles, TheWholeFileIsCheckedBeforeAnythingIsExtracted) {
  ServeRelease("changed-checked.exe", "ranges=ignore");
  run.files[0].sha256 = std::string(64, '0');  // the manifest and the payload disagree
  EXPECT_EQ(qv::test::ThrownMessage([&] { ObtainChangedFiles(run, staging, Wanted({"qv.exe"})); }),
            "The package's files do not match the signed manifest. Nothing was changed.");
  EXPECT_TRUE(FilesBelow(staging).empty());
  EXPECT_TRUE(staged.empty());
}

}  // namespace
