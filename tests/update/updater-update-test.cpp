// "--game-update" end to end through the built program under Wine, headless
// in update test mode: the older installation really updated from the update
// test releases on the project's HTTPS test server, the new version played by
// the stand-in game.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text.h"
#include "selftest/fixture-files.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/updater-log-lines.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;
using qv::setup::ReadFileText;

std::vector<std::string> UpdateLogLines(const fs::path& folder) {
  std::vector<std::string> lines;
  std::string text = ReadFileText(folder / L"data" / L"qv-update.log");
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

TEST_F(UpdaterProgram, AnOlderInstallationIsUpdatedByRangeRequests) {
  const std::string document = ServeRelease("ranges", L"update", kUpdateVersion);
  WriteStandInControl(game.folder, "confirm\nsleep 2000\n");
  const std::string text = Run(game.folder, document);
  EXPECT_EQ(text, PassedResult()) << run.output;
  EXPECT_EQ(run.exit_code, 0u);

  ExpectReleaseFilesInPlace(game.folder);
  ExpectPlayerFilesUntouched(game.folder);
  EXPECT_FALSE(fs::exists(game.folder / L"shaders" / L"gone.spv"));  // the old release's leftover
  ExpectNoTemporaryFolders(game);

  const std::vector<LoggedRequest> requests = SetupRequests("ranges");
  EXPECT_EQ(WholeDownloads(requests), 0u);
  EXPECT_FALSE(requests.empty());

  const std::vector<StandInGameRun> runs = GameRuns(game.folder, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"-windowed", "two words"}));
  EXPECT_EQ(qv::setup::PathFromUtf8(runs[0].folder), game.folder);

  const std::vector<std::string> log = UpdaterLogMessages(game.folder);
  for (const char* line : {"phase 0", "phase 1", "phase 2", "phase 4", "phase 5", "the new version started; backup removed"}) {
    EXPECT_TRUE(Contains(log, line)) << line;
  }
  EXPECT_TRUE(AnyContains(log, "installed 1.2.0: ")) << testing::PrintToString(log);
  EXPECT_TRUE(AnyContains(UpdateLogLines(game.folder), "in-game update to 1.2.0: ")) << ReadFileText(game.folder / L"data" / L"qv-update.log");
  EXPECT_TRUE(AnyContains(UpdateLogLines(game.folder), "(parts of the package) of a "));
}

}  // namespace
