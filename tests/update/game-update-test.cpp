// ApplyGameUpdate in this process against the update test releases on the
// project's HTTPS test server.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/install-manifest.h"
#include "engine/update-journal.h"
#include "foundation/folder-tests.h"
#include "foundation/package-view.h"
#include "selftest/fixture-files.h"
#include "selftest/test-file-list.h"
#include "selftest/tree-snapshot.h"
#include "support/scoped-environment.h"
#include "support/stand-in-game.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "support/thrown.h"
#include "update/game-update.h"
#include "update/updater-work.h"
#include "updater-fixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::OlderGame;
using qv::test::ServeRelease;

struct GameUpdate : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());
    state.arguments.game_folder = game.folder.native();
    platform = win_updater::UpdaterPlatform(state, package);
    platform.on_phase = [this](UpdatePhase phase) { phases.push_back(static_cast<int>(phase)); };
  }

  // ApplyGameUpdate with the release document served as `name`; the text it
  // raised, or "" when it returned.
  std::string Apply(const std::string& document) {
    qv::test::ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", document);
    try {
      result = ApplyGameUpdate(game.folder, platform, page);
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  std::vector<std::wstring> Beside() const {
    std::vector<std::wstring> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(game.games)) names.push_back(entry.path().filename());
    return names;
  }

  OlderGame game;
  win_updater::State state;
  win_updater::PackageView package;
  GameUpdatePlatform platform;
  GameUpdateResult result;
  std::string page;
  std::vector<int> phases;
  qv::test::UpdateTestMode test_mode;
  qv::test::ScopedEnvironment key{"QV_UPDATE_TEST_PUBLIC_KEY", qv::test::TestReleasePublicKeyHex()};
};

TEST_F(GameUpdate, AnInstallationWithAManifestItsEngineRefusesIsNeitherKind) {
  // A "qv-files.json" would make it a portable copy, but the manifest decides.
  WriteFixtureFile(game.folder / L"qv-files.json", RenderFilesJson({{"qv.exe", "old exe"}}));
  WriteFixtureFile(game.folder / L"qv-install-manifest.txt", "not a manifest\n");
  const std::string document = ServeRelease("neither", L"update", qv::test::kUpdateVersion);
  EXPECT_TRUE(Apply(document).starts_with(
      "This folder is neither a Q.V. DU Vora installed by its setup nor a portable copy; download the new version "
      "from the release page."));
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/files/neither.json"));
}

TEST_F(GameUpdate, APortableCopyThatCannotBeWrittenFailsBeforeAnyRequest) {
  fs::remove(game.folder / L"qv-install-manifest.txt");
  WriteFixtureFile(game.folder / L"qv-files.json", RenderFilesJson({{"qv.exe", "old exe"}}));
  // A file where the write probe would go: the folder counts as not writable
  // (as root nothing else stops a write under Wine).
  platform.run_id = "{PROBE}";
  WriteFixtureFile(game.folder / (std::wstring(kWriteProbePrefix) + L"{PROBE}"), "in the way");
  const std::string document = ServeRelease("portable-locked", L"update", qv::test::kUpdateVersion);
  const std::string text = Apply(document);
  EXPECT_TRUE(text.starts_with("The game folder ")) << text;
  EXPECT_TRUE(text.ends_with(" is not writable. This portable copy cannot update itself there: move its folder to a "
                             "place you can write to, or download the new version from the release page."))
      << text;
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/files/portable-locked.json"));
  EXPECT_TRUE(phases.empty());
}

TEST_F(GameUpdate, RefusalsOfTheReleaseDocument) {
  const std::string no_package_document = qv::test::TestHttpsUrl("/files/no-package.json");
  qv::test::PutTestServerFile("no-package.json",
                              R"({"tag_name":"1.2.0","html_url":"https://localhost/releases/1.2.0","assets":[]})");
  qv::test::PutTestServerFile("unreadable.json", "{}");
  const std::string v_same = ServeRelease("v-same", L"update", "v0.0.9");
  const struct {
    std::string document;
    std::string text;
    std::string page;
  } cases[] = {
      {"https://qv-releases.invalid/latest", "The update address https://qv-releases.invalid/latest is not allowed.",
       ""},
      {qv::test::TestHttpsUrl("/files/unreadable.json"), "The release information could not be read.", ""},
      // Version order ignores a leading "v".
      {v_same, "Version 0.0.9 is already the newest.", qv::test::ReleasePage("v0.0.9")},
      {no_package_document, "The release has no package for this system.", "https://localhost/releases/1.2.0"},
  };
  const TreeSnapshot before = SnapshotTree(game.games);
  for (const auto& c : cases) {
    page.clear();
    phases.clear();
    EXPECT_EQ(Apply(c.document), c.text);
    // The page is known as soon as the document is read, also for a failure after it.
    EXPECT_EQ(page, c.page) << c.text;
    EXPECT_EQ(phases, std::vector<int>{1}) << c.text;
  }
  EXPECT_EQ(SnapshotTree(game.games), before);
}

}  // namespace
