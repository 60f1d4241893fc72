// ApplyGameUpdate in this process against the update test releases on the
// project's HTTPS test server.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/records/install-manifest.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/folder-tests.h"
#include "foundation/payload/package-view.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/test-file-list.h"
#include "support/scoped-environment.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "support/thrown.h"
#include "support/updater-log-lines.h"
#include "update/game-update.h"
#include "update/updater/updater-work.h"
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
      // A name and password are never shown.
      {"https://user:pw@localhost:18901/release.json",
       "The update address https://localhost:18901/release.json is not allowed.", ""},
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

std::size_t WholeDownloads(std::string_view path) {
  std::size_t whole = 0;
  for (const qv::test::LoggedRequest& request : qv::test::TestServerLogFor(path)) whole += request.range == "-";
  return whole;
}

// The run's counters, the phases and the update log line, for parts and for
// the whole setup file taken because one file has no stream position (even
// though that file did not change).
TEST_F(GameUpdate, PartsOrTheWholeSetupFileAndTheLogLine) {
  const struct {
    const char* name;
    std::wstring release;
    bool parts;
    const wchar_t* held;  // a file another program holds open, without sharing, until the files are installed
  } cases[] = {{"counted-parts", L"update", true, nullptr},
               {"counted-unpacked", L"update-unpacked", false, nullptr},
               {"counted-in-use", L"update", true, L"shaders\\a.spv"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OlderGame older;
    game.folder = older.folder;  // Apply updates game.folder
    phases.clear();
    qv::setup::UniqueFile held;
    const GameUpdatePlatform kept = platform;
    if (c.held) {
      held.reset(::CreateFileW((older.folder / c.held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held.valid()) << ::GetLastError();
      platform.hash_file = [](const fs::path& path) { return HashFileSha256(path, kWholeFile, {1, 1}); };
      platform.on_phase = [this, &held](UpdatePhase phase) {
        phases.push_back(static_cast<int>(phase));
        if (phase == UpdatePhase::kInstalling) held.reset();
      };
    }
    const std::string applied = Apply(ServeRelease(c.name, c.release, qv::test::kUpdateVersion));
    platform = kept;
    ASSERT_EQ(applied, "");
    EXPECT_EQ(result.version, qv::test::kUpdateVersion);
    EXPECT_EQ(result.parts, c.parts);
    EXPECT_EQ(phases, (std::vector<int>{1, 2, 4}));
    EXPECT_GT(result.files_differed, 0u);
    EXPECT_GT(result.bytes_downloaded, 0u);
    const std::vector<qv::test::LoggedRequest> requests = qv::test::TestServerLogFor("/files/" + std::string(c.name) + ".exe");
    std::uint64_t sent = 0;
    int file_requests = 0;
    for (std::size_t i = 2; i < requests.size(); ++i) {  // the first two read the signed manifest
      sent += requests[i].sent;
      ++file_requests;
    }
    EXPECT_EQ(result.requests, file_requests);
    EXPECT_EQ(result.bytes_downloaded, sent);
    if (!c.parts) {
      EXPECT_EQ(file_requests, 1);
    }
    const std::vector<std::string> log = qv::test::UpdateLogLines(older.folder);
    ASSERT_GE(log.size(), 2u);
    // One set of numbers for every text about this update: the engine's
    // summary, this line and the updater's own summary. Each file of the new
    // version is replaced, added or unchanged, and they make the files checked.
    const InstallOutcome& outcome = result.outcome;
    EXPECT_EQ(outcome.replaced + outcome.added + outcome.unchanged, outcome.verified);
    EXPECT_EQ(result.files_differed, outcome.replaced + outcome.added);
    const std::string counts = std::to_string(outcome.replaced) + " replaced, " + std::to_string(outcome.added) +
                               " added, " + std::to_string(outcome.unchanged) + " unchanged, ";
    EXPECT_NE(log[log.size() - 2].find(": " + counts), std::string::npos) << log[log.size() - 2];
    EXPECT_NE(log[log.size() - 2].find(", all " + std::to_string(outcome.verified) + " files checked"),
              std::string::npos)
        << log[log.size() - 2];
    EXPECT_NE(win_updater::UpdateSummaryLine(result).find(": " + counts), std::string::npos);
    const std::string expected = "in-game update to 1.2.0: " + std::to_string(result.files_differed) + " of " +
                                 std::to_string(outcome.verified) + " files differed; ";
    EXPECT_NE(log.back().find(expected), std::string::npos) << log.back();
    EXPECT_NE(log.back().find(" files differed; downloaded " + std::to_string(result.bytes_downloaded) + " bytes in " +
                              std::to_string(result.requests) + (result.requests == 1 ? " request " : " requests ") +
                              (c.parts ? "(parts of the package)" : "(the whole package)") + " of a "),
              std::string::npos)
        << log.back();
    // Like with like: the bytes against the setup file as a whole download takes it.
    const std::uint64_t setup_size = qv::test::ReadTestFile(qv::test::TestReleaseSetup(c.release)).size();
    EXPECT_TRUE(log.back().ends_with(" of a " + std::to_string(setup_size) + " byte package")) << log.back();
    if (!c.parts) {
      EXPECT_EQ(result.bytes_downloaded, setup_size);
    }
    // The engine kept the journal for the start confirmation.
    EXPECT_EQ(result.outcome.journal_path, UpdateJournalPath(older.folder));
    EXPECT_TRUE(RestorePreviousVersion(result.outcome.journal_path, nullptr));
  }
}

TEST_F(GameUpdate, OneLeadingVIsNotPartOfTheVersion) {
  ASSERT_EQ(Apply(ServeRelease("v-version", L"update-v", "v" + std::string(qv::test::kUpdateVersion))), "");
  EXPECT_EQ(result.version, qv::test::kUpdateVersion);
  EXPECT_EQ(page, qv::test::ReleasePage("v1.2.0"));
}

// The window's downloading and installing lines name the new version, so the
// version reaches the updater's State before the download starts: by range
// requests, and by the whole setup file when the server ignores Range.
TEST_F(GameUpdate, TheNewVersionIsKnownFromTheDownloadOn) {
  const struct {
    const char* name;
    std::wstring release;
    std::string version;
    std::string server_options;
  } cases[] = {{"known-parts", L"update", qv::test::kUpdateVersion, ""},
               {"known-v", L"update-v", "v" + std::string(qv::test::kUpdateVersion), ""},
               {"known-whole", L"update", qv::test::kUpdateVersion, "ranges=ignore"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OlderGame older;
    game.folder = older.folder;
    state.SetVersion("");
    std::vector<std::pair<int, std::string>> seen;
    platform.on_phase = [&](UpdatePhase phase) { seen.emplace_back(static_cast<int>(phase), state.Version()); };
    ASSERT_EQ(Apply(ServeRelease(c.name, c.release, c.version, c.server_options)), "");
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::make_pair(1, std::string()));
    EXPECT_EQ(seen.back().first, 4);
    for (std::size_t i = 1; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].second, qv::test::kUpdateVersion) << "phase " << seen[i].first;
    }
    EXPECT_TRUE(RestorePreviousVersion(result.outcome.journal_path, nullptr));
  }
}

// A failure after the whole setup file arrived, while the installed files
// are compared: the download folder beside the game goes with it.
TEST_F(GameUpdate, AFailureAfterTheWholeDownloadRemovesTheDownloadFolder) {
  // Ranges ignored: the manifest comes out of the whole setup file, and the
  // unsafe path it lists stops the comparison of the installed files.
  EXPECT_EQ(Apply(ServeRelease("whole-then-unsafe", L"update-unsafe-path", qv::test::kUpdateVersion, "ranges=ignore")),
            "Unsafe payload path.");
  EXPECT_EQ(phases, (std::vector<int>{1, 2}));
  EXPECT_EQ(WholeDownloads("/files/whole-then-unsafe.exe"), 1u);
  EXPECT_EQ(Beside(), std::vector<std::wstring>{L"Q.V. DU Vora"});
  EXPECT_FALSE(fs::exists(UpdateJournalPath(game.folder)));
}

}  // namespace
