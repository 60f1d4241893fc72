#include "gamesource/archive-copy.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "foundation/hooks.h"
#include "game-fixtures.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::ListedNames;
using qv::test::PathIdListBytes;
using qv::test::PsarcBytes;
using qv::test::QarBytes;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

const std::string kMissingList =
    "pathid_list_ps4.bin is missing: enhanced textures cannot be generated; the game runs without it";

// Records status lines and progress calls; clears the hooks afterwards.
class ArchiveCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogLineHook = [this](const std::string& line) { lines.push_back(line); };
    ProgressHook = [this](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };
    ResetProgress(1ull << 40);
    progress.clear();
  }
  void TearDown() override {
    LogLineHook = nullptr;
    ProgressHook = nullptr;
    CancelHook = nullptr;
  }
  std::string FailureOf(const GameFiles& files, const fs::path& title_folder) {
    try {
      CopyGameArchives(files, title_folder);
      return "";
    } catch (const std::runtime_error& error) {
      return error.what();
    }
  }

  TempFolder temp;
  std::vector<std::string> lines;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

TEST_F(ArchiveCopyTest, CopiesUnderCanonicalNamesAndRecordsTheSource) {
  auto dump = temp / L"\u30c0\u30f3\u30d7";
  GameFiles files;
  files.chunk = dump / L"data_ps4.psarc";
  files.texture = dump / L"tex_0.qar";
  files.path_id_list = dump / L"pathid_list_ps4.bin";
  WriteTestFile(files.chunk, PsarcBytes(1000));
  WriteTestFile(files.texture, QarBytes(3000));
  WriteTestFile(files.path_id_list, PathIdListBytes(true));
  files.title_id = "CUSA09903";
  files.content_id = "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT";
  files.notes = {"texture.qar is named tex_0.qar in this release; installed as texture.qar", "second note"};

  auto title = temp / L"install \u00e9t\u00e9" / L"CUSA09901";
  CopyGameArchives(files, title);
  EXPECT_EQ(ReadTestFile(title / L"chunk1.psarc"), PsarcBytes(1000));
  EXPECT_EQ(ReadTestFile(title / L"texture.qar"), QarBytes(3000));
  EXPECT_EQ(ReadTestFile(title / L"pathid_list_ps4.bin"), PathIdListBytes(true));
  EXPECT_EQ(ReadTestFile(title / L"source.txt"),
            "content_id=EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT\ntitle_id=CUSA09903\nregion=Europe\nsource=folder\n"
            "warning=texture.qar is named tex_0.qar in this release; installed as texture.qar\n"
            "warning=second note\n");
  EXPECT_EQ(ListedNames(title).size(), 4u);  // nothing else is left behind
  EXPECT_EQ(lines, (std::vector<std::string>{"Copying chunk1.psarc from your game folder...",
                                             "Copying texture.qar from your game folder...",
                                             "Copying pathid_list_ps4.bin from your game folder..."}));
  const std::uint64_t list_size = PathIdListBytes(true).size();
  using Call = std::pair<std::uint64_t, std::uint64_t>;
  EXPECT_EQ(progress, (std::vector<Call>{{1000, 1ull << 40}, {4000, 1ull << 40}, {4000 + list_size, 1ull << 40}}));
}

TEST_F(ArchiveCopyTest, AbsentListAndEmptyIdentifiers) {
  GameFiles files;
  files.chunk = temp / L"src" / L"chunk1.psarc";
  files.texture = temp / L"src" / L"texture.qar";
  WriteTestFile(files.chunk, "");  // an empty file is copied without a progress call
  WriteTestFile(files.texture, QarBytes());
  files.notes = {kMissingList};
  auto title = temp / L"CUSA09901";
  CopyGameArchives(files, title);
  EXPECT_EQ(ReadTestFile(title / L"chunk1.psarc"), "");
  EXPECT_FALSE(fs::exists(title / L"pathid_list_ps4.bin"));
  EXPECT_EQ(ReadTestFile(title / L"source.txt"),
            "content_id=\ntitle_id=\nregion=unknown\nsource=folder\nwarning=" + kMissingList + "\n");
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(progress.size(), 1u);
}

TEST_F(ArchiveCopyTest, BlockBoundaries) {
  for (std::uint64_t size : {std::uint64_t{kArchiveCopyBlock}, std::uint64_t{kArchiveCopyBlock} + 1}) {
    GameFiles files;
    files.chunk = temp / L"src" / L"chunk1.psarc";
    std::string content(static_cast<size_t>(size), 'c');
    content.back() = 'e';
    WriteTestFile(files.chunk, content);
    int cancel_checks = 0;
    CancelHook = [&] { return ++cancel_checks < 0; };
    ResetProgress(1ull << 40);
    progress.clear();
    auto title = temp / L"CUSA09901";
    CopyGameArchives(files, title);
    EXPECT_TRUE(ReadTestFile(title / L"chunk1.psarc") == content) << size;
    // One progress call per block written; one cancel check before every read.
    EXPECT_EQ(progress.size(), size == kArchiveCopyBlock ? 1u : 2u) << size;
    EXPECT_EQ(cancel_checks, 2) << size;
    EXPECT_EQ(ProgressCounters.done, size);
  }
}

TEST_F(ArchiveCopyTest, CancelLeavesNoArchiveUnderItsName) {
  GameFiles files;
  files.chunk = temp / L"src" / L"chunk1.psarc";
  files.texture = temp / L"src" / L"texture.qar";
  WriteTestFile(files.chunk, PsarcBytes(kArchiveCopyBlock + 10));
  WriteTestFile(files.texture, QarBytes());
  for (int cancel_at : {1, 2}) {  // before the first block, and after one block was written
    TempFolder install;
    int checks = 0;
    CancelHook = [&] { return ++checks >= cancel_at; };
    EXPECT_EQ(FailureOf(files, install / L"CUSA09901"), "Installation cancelled.") << cancel_at;
    EXPECT_TRUE(ListedNames(install / L"CUSA09901").empty()) << cancel_at;  // no partial, no source.txt
  }
}

TEST_F(ArchiveCopyTest, SourceThatChangesDuringTheCopyIsIncomplete) {
  GameFiles files;
  files.chunk = temp / L"src" / L"chunk1.psarc";
  files.texture = temp / L"src" / L"texture.qar";
  WriteTestFile(files.chunk, PsarcBytes());
  WriteTestFile(files.texture, QarBytes());
  // The source grows after its last block was read and written.
  ProgressHook = [&](std::uint64_t, std::uint64_t) {
    std::ofstream(files.texture, std::ios::binary | std::ios::app) << "more";
  };
  auto title = temp / L"CUSA09901";
  files.chunk.clear();
  EXPECT_EQ(FailureOf(files, title), "Copy of texture.qar is incomplete.");
  EXPECT_TRUE(ListedNames(title).empty());
}

TEST_F(ArchiveCopyTest, UnreadableSourceAndUncreatableFolder) {
  GameFiles files;
  files.chunk = temp / L"src" / L"missing.psarc";
  EXPECT_EQ(FailureOf(files, temp / L"CUSA09901"), "Could not copy chunk1.psarc.");
  EXPECT_TRUE(ListedNames(temp / L"CUSA09901").empty());

  WriteTestFile(temp / L"file", "a file where the folder should be");
  try {
    CopyGameArchives(files, temp / L"file" / L"CUSA09901");
    ADD_FAILURE() << "no error";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("create_directories"), std::string::npos) << error.what();
    EXPECT_EQ(error.path1(), temp / L"file" / L"CUSA09901");
  }
}

TEST_F(ArchiveCopyTest, ReplacesAnEarlierCopy) {
  GameFiles files;
  files.texture = temp / L"src" / L"texture.qar";
  WriteTestFile(files.texture, QarBytes(100));
  auto title = temp / L"CUSA09901";
  WriteTestFile(title / L"texture.qar", std::string(5000, 'o'));
  CopyGameArchives(files, title);
  EXPECT_EQ(ReadTestFile(title / L"texture.qar"), QarBytes(100));
}

}  // namespace
