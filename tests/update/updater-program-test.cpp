// "--game-update" through the built program under Wine, headless in update
// test mode: an older installation updated from the update test releases on
// the project's HTTPS test server, the new version played by the stand-in
// game.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/test-file-list.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/updater-log-lines.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;
using qv::setup::ReadFileText;
using qv::setup::TreeSnapshot;

// Refusals before anything is changed: the installation, the folder around it
// and everything but the updater's log stay as they were.
TEST_F(UpdaterProgram, RefusedUpdatesChangeNothing) {
  const std::string same = ServeRelease("same", L"update", "0.0.9");
  const std::string other_key = ServeRelease("other-key", L"update-other-key", kUpdateVersion);
  const std::string unsafe = ServeRelease("unsafe", L"update-unsafe-path", kUpdateVersion);
  const std::string trailing_dot = ServeRelease("trailing-dot", L"update-trailing-dot", kUpdateVersion);
  const std::string title_folder = ServeRelease("title-folder", L"update-title-folder", kUpdateVersion);
  const std::string same_file = ServeRelease("same-file", L"update-same-file", kUpdateVersion);
  const struct {
    const char* name;
    std::string document;
    std::string detail;  // its beginning
    std::string version;  // in the result once the newer release is known
  } cases[] = {
      {"not newer", same, "Version 0.0.9 is already the newest.", ""},
      {"wrong signature", other_key, "The update could not be verified: ", kUpdateVersion},
      // The manifest's paths are checked before anything is fetched.
      {"unsafe path", unsafe, "Unsafe payload path.", kUpdateVersion},
      // A name the system would store as another one.
      {"trailing dot", trailing_dot,
       "The update lists shaders/new.spv., which Windows would take for shaders/new.spv: it drops the dots and "
       "blanks at the end of a name.",
       kUpdateVersion},
      // The player's own game archives stay theirs.
      {"title folder", title_folder,
       "The update may not change the game's own files: CUSA09901/chunk1.psarc lies in a title folder.",
       kUpdateVersion},
      {"same file twice", same_file, "The update lists Shaders/A.spv, which is the same file as shaders/a.spv.",
       kUpdateVersion},
      {"redirect", TestHttpsUrl("/redirect/302?to=https://qv-releases.invalid/latest"),
       "Could not reach the release page: ", ""},
      {"large document", TestHttpsUrl("/doc?size=600000"), "Could not reach the release page: ", ""},
      // A byte now and then meets no time-out; the document's deadline ends it.
      {"trickled document", same + "?trickle=200",
       "Could not reach the release page: the server localhost is too slow (no complete answer within 30 seconds).",
       ""},
  };
  const TreeSnapshot before = Snapshot(game.games);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = Run(game.folder, c.document);
    EXPECT_EQ(run.exit_code, 1u) << run.output;
    EXPECT_TRUE(StartsWith(text, "FAIL failed " + c.version + "\npage ")) << text;
    EXPECT_NE(text.find("\ndetail " + c.detail), std::string::npos) << text;
    EXPECT_EQ(Snapshot(game.games), before);
    EXPECT_TRUE(StartsWith(UpdaterLogMessages(game.folder).back(), "failed: " + c.detail));
  }
  EXPECT_FALSE(fs::exists(game.temp / L"outside.txt"));
  EXPECT_FALSE(fs::exists(game.games / L"outside.txt"));
  EXPECT_TRUE(ReadStandInGameRuns(game.folder).empty());
}

TEST_F(UpdaterProgram, AResultPathThatMayNotBeWrittenStopsEverything) {
  fs::create_directories(result);
  const TreeSnapshot before = qv::setup::SnapshotTree(game.games);
  const std::string document = ServeRelease("guarded", L"update", kUpdateVersion);
  run = RunProgram(qv::test::SetupProgramPath(), Arguments(game.folder), Environment(document), kUpdaterTimeout);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_TRUE(fs::is_directory(result));
  EXPECT_TRUE(fs::is_empty(result));
  EXPECT_EQ(qv::setup::SnapshotTree(game.games), before);  // not even a log line
  EXPECT_FALSE(TestServerWasAskedFor("/files/guarded.json"));
}

}  // namespace
