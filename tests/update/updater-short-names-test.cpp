// "--game-update" through the built program, with a signed manifest that
// names a file by the short 8.3 name of the installation's title folder, which
// the file system takes for the player's own game archive: the update is
// refused before anything is fetched.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/resigned-release.h"
#include "support/short-names.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;

TEST_F(UpdaterProgram, AShortNameOfTheTitleFolderIsRefusedBeforeAnythingIsFetched) {
  const fs::path archive = game.folder / L"CUSA09901" / L"chunk1.psarc";
  qv::setup::WriteFixtureFile(archive, "the player's game archive");
  const std::string title = ShortNameOf(game.folder / L"CUSA09901");
  ASSERT_FALSE(title.empty());

  // The release's "shaders/b.spv" listed as the archive under that name.
  const std::string setup = ReadTestFile(TestReleaseSetup(L"update"));
  std::string manifest = SignedManifestOf(setup);
  const std::string listed = "\"path\": \"shaders/b.spv\"";
  const std::size_t at = manifest.find(listed);
  ASSERT_NE(at, std::string::npos) << manifest;
  const std::string entry = title + "/chunk1.psarc";
  manifest.replace(at, listed.size(), "\"path\": \"" + entry + "\"");
  ServerSignature signed_by;
  const std::string document =
      ServeSetupFile("short-name", WithResignedManifest(setup, manifest, &signed_by), kUpdateVersion);
  ASSERT_EQ(signed_by.public_key_hex.size(), 64u);

  const qv::setup::TreeSnapshot before = Snapshot(game.games);
  run = RunProgram(SetupProgramPath(), Arguments(game.folder),
                   {"QV_UPDATE_TEST=1", "QV_UPDATE_MANIFEST_URL=" + document,
                    "QV_UPDATE_TEST_PUBLIC_KEY=" + signed_by.public_key_hex,
                    "QV_UPDATE_TEST_RESULT=" + qv::setup::WideToUtf8(result.native())},
                   kUpdaterTimeout);
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  // The name has the form of a short name: refused as such, whatever it
  // stands for on this computer.
  EXPECT_EQ(qv::setup::ReadFileText(result), FailedResultStart("FAIL failed", kUpdateVersion) + "The update lists " +
                                                 entry + ", whose " + title +
                                                 " has the form of a short (8.3) name, which may stand for another "
                                                 "folder or file.\n");
  EXPECT_EQ(Snapshot(game.games), before);
  EXPECT_EQ(qv::setup::ReadFileText(archive), "the player's game archive");
  ExpectNoTemporaryFolders(game);
  // Only the signed manifest was read from the setup file (two ranges), no file of it.
  const std::vector<LoggedRequest> requests = SetupRequests("short-name");
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(WholeDownloads(requests), 0u);
}

}  // namespace
