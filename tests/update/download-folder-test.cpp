// RemoveDownloadFolder and DescribeUnwritableFolders: what they touch and in
// which order they probe. Links and junctions, which Wine cannot make, and
// unwritable folders, which root cannot meet, are presented through an
// injected view and probe.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/files/file-system-view.h"
#include "foundation/files/folder-tests.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "update/download/download-folder.h"
#include "update/download/unwritable-folders.h"
#include "update/download/update-run.h"

namespace {

using namespace qv::setup;
namespace fs = std::filesystem;

class DownloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    games = temp / L"games";
    game = games / L"QV";
    fs::create_directories(game / L"data");
  }
  qv::test::TempFolder temp{L"qv-download-folder"};
  fs::path games;
  fs::path game;
};

TEST_F(DownloadFolderTest, TheDownloadFolderLiesBesideTheGame) {
  EXPECT_EQ(DownloadFolderFor(game, "{1234}"), games / L".qv-update-dl-{1234}");
}

TEST_F(DownloadFolderTest, RemovesOnlyANamedDownloadFolderBesideTheGame) {
  struct Case {
    const char* label;
    fs::path folder;
    bool removed;
  } cases[] = {
      {"download folder", games / L".qv-update-dl-run", true},
      {"prefix alone", games / L".qv-update-dl-", false},
      {"other prefix", games / L".qv-update-run", false},
      {"elsewhere", temp / L".qv-update-dl-run", false},
      {"inside the game", game / L".qv-update-dl-run", false},
      {"the game itself", game, false},
  };
  for (const Case& c : cases) {
    qv::test::WriteTestFile(c.folder / L"sub" / L"Q.V.PC.Rure.Setup.exe", "package");
    RemoveDownloadFolder(game, c.folder);
    EXPECT_EQ(!fs::exists(c.folder), c.removed) << c.label;
  }
  EXPECT_TRUE(fs::exists(game / L"data"));
  // A missing folder is no error.
  RemoveDownloadFolder(game, games / L".qv-update-dl-gone");
}

TEST_F(DownloadFolderTest, NeverRemovesThroughALink) {
  const fs::path folder = games / L".qv-update-dl-run";
  for (std::uint32_t tag : {kReparseTagSymlink, kReparseTagMountPoint}) {
    qv::test::WriteTestFile(folder / L"behind the link.txt", "not ours");
    RemoveDownloadFolder(game, folder, qv::test::ViewWithReparsePoints({{folder, tag}}));
    EXPECT_TRUE(fs::exists(folder / L"behind the link.txt")) << std::hex << tag;
  }
}

struct ProbeCall {
  fs::path folder;
  std::string suffix;
  std::string label;
};

TEST_F(DownloadFolderTest, ProbesGameDataAndParentInOrderAndReportsTheFirstFailure) {
  GameUpdatePlatform platform;
  platform.run_id = "{run}";
  std::vector<ProbeCall> calls;
  std::string refuse;  // a label that fails
  const WritableProbe probe = [&](const fs::path& folder, std::string_view suffix, const std::string& label) {
    calls.push_back({folder, std::string(suffix), label});
    if (label == refuse) throw std::runtime_error("The " + label + " is not writable.");
  };
  const std::string game_text = temp.path().generic_string() + "/games/QV";
  const std::string game_label = "game folder " + game_text;
  const std::string data_label = "data folder " + game_text + "/data";
  const std::string parent_label = "folder above the game, " + temp.path().generic_string() + "/games,";

  EXPECT_EQ(DescribeUnwritableFolders(game, platform, probe), "");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].label, game_label);
  EXPECT_EQ(calls[1].label, data_label);
  EXPECT_EQ(calls[2].label, parent_label);
  EXPECT_EQ(calls[1].folder, game / L"data");
  EXPECT_EQ(calls[2].folder, games);
  for (const ProbeCall& call : calls) EXPECT_EQ(call.suffix, "{run}");

  for (const std::string& label : {game_label, data_label, parent_label}) {
    calls.clear();
    refuse = label;
    EXPECT_EQ(DescribeUnwritableFolders(game, platform, probe), "The " + label + " is not writable.");
    EXPECT_EQ(calls.back().label, label) << "nothing probed after the first failure";
  }

  // A "data" junction or link is not the update's to write; no "data" at all likewise.
  refuse.clear();
  for (std::uint32_t tag : {kReparseTagMountPoint, kReparseTagSymlink}) {
    calls.clear();
    EXPECT_EQ(DescribeUnwritableFolders(game, platform, probe,
                                        qv::test::ViewWithReparsePoints({{game / L"data", tag}})),
              "");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].label, game_label);
    EXPECT_EQ(calls[1].label, parent_label);
  }
  fs::remove(game / L"data");
  calls.clear();
  EXPECT_EQ(DescribeUnwritableFolders(game, platform, probe), "");
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(DownloadFolderTest, TheRealProbeLeavesNothingBehind) {
  GameUpdatePlatform platform;
  platform.run_id = "{probe}";
  EXPECT_EQ(DescribeUnwritableFolders(game, platform), "");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(games), {}), std::vector<fs::path>{game});
  // A file where the game folder should be: the probe's own sentence.
  const fs::path file_game = games / L"file";
  qv::test::WriteTestFile(file_game, "x");
  EXPECT_EQ(DescribeUnwritableFolders(file_game, platform),
            "The game folder " + file_game.generic_string() + " must be a writable folder.");
}

}  // namespace
