// "--game-update" through the built program, with a signed manifest that
// names a file by a short 8.3 name: of the installation's title folder, which
// the file system takes for the player's own game archive, or of a folder the
// update itself creates. The update is refused before anything is fetched.

#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// Runs of the updater on the older game against the update release whose
// signed manifest lists some of the release's files under other names.
struct ShortNameUpdate : UpdaterProgram {
  // Serves the release as `name` with each file `listed` in the manifest
  // renamed to its `as` (the manifest re-signed), runs the updater and
  // expects it refused for `entry`, whose `element` has the form of a short
  // name, before any of the release's files is fetched, the game folder and
  // everything beside it untouched.
  void ExpectRefusedBeforeAnythingIsFetched(const std::string& name,
                                            const std::vector<std::pair<std::string, std::string>>& renamed,
                                            const std::string& entry, const std::string& element) {
    const std::string setup = ReadTestFile(TestReleaseSetup(L"update"));
    std::string manifest = SignedManifestOf(setup);
    for (const auto& [listed, as] : renamed) {
      const std::string field = "\"path\": \"" + listed + "\"";
      const std::size_t at = manifest.find(field);
      ASSERT_NE(at, std::string::npos) << manifest;
      manifest.replace(at, field.size(), "\"path\": \"" + as + "\"");
    }
    ServerSignature signed_by;
    const std::string document =
        ServeSetupFile(name, WithResignedManifest(setup, manifest, &signed_by), kUpdateVersion);
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
    EXPECT_EQ(qv::setup::ReadFileText(result), FailedResultStart("FAIL failed", kUpdateVersion) +
                                                   "The update lists " + entry + ", whose " + element +
                                                   " has the form of a short (8.3) name, which may stand for "
                                                   "another folder or file.\n");
    EXPECT_EQ(Snapshot(game.games), before);
    ExpectNoTemporaryFolders(game);
    // Only the signed manifest was read from the setup file (two ranges), no file of it.
    const std::vector<LoggedRequest> requests = SetupRequests(name);
    EXPECT_EQ(requests.size(), 2u);
    EXPECT_EQ(WholeDownloads(requests), 0u);
  }
};

TEST_F(ShortNameUpdate, AShortNameOfTheTitleFolderIsRefusedBeforeAnythingIsFetched) {
  const fs::path archive = game.folder / L"CUSA09901" / L"chunk1.psarc";
  qv::setup::WriteFixtureFile(archive, "the player's game archive");
  const std::string title = ShortNameOf(game.folder / L"CUSA09901");
  ASSERT_FALSE(title.empty());

  // The release's "shaders/b.spv" listed as the archive under that name.
  const std::string entry = title + "/chunk1.psarc";
  ExpectRefusedBeforeAnythingIsFetched("short-name", {{"shaders/b.spv", entry}}, entry, title);
  EXPECT_EQ(qv::setup::ReadFileText(archive), "the player's game archive");
}

// A folder the update itself creates answers to its short name once it
// exists, which no check made before the first move could see: a signed
// manifest listing "new-long-folder/a.txt" and "<its short name>/b.txt" would
// put both files into one folder. The short form is refused before anything
// is fetched.
TEST_F(ShortNameUpdate, TheShortNameOfAFolderTheUpdateCreatesIsRefusedBeforeAnythingIsFetched) {
  // The short name this computer gives that folder, read from one made aside.
  const fs::path aside = game.temp / L"aside" / L"new-long-folder";
  fs::create_directories(aside);
  const std::string folder = ShortNameOf(aside);
  ASSERT_FALSE(folder.empty());

  // The release's two shaders listed under the long name and the short one.
  const std::string entry = folder + "/b.txt";
  ExpectRefusedBeforeAnythingIsFetched("new-folder-short-name",
                                       {{"shaders/a.spv", "new-long-folder/a.txt"}, {"shaders/b.spv", entry}},
                                       entry, folder);
  EXPECT_FALSE(fs::exists(game.folder / L"new-long-folder"));
}

}  // namespace
