// The names of a signed manifest judged in the game folder itself: a short
// 8.3 name of a title folder, a player's folder or another listed file passes
// every name rule, yet reaches what it stands for, and is refused before
// anything is downloaded.

#include "update/manifest-stored-names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/short-names.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ShortNameOf;
using qv::test::ThrownMessage;
using qv::update::CheckManifestNamesAsStored;
using qv::update::FileEntry;

std::vector<FileEntry> Files(const std::vector<std::string>& paths) {
  std::vector<FileEntry> files;
  for (const std::string& path : paths) files.push_back(FileEntry{path, 1, std::string(64, 'a'), 0, 0});
  return files;
}

TEST(ManifestNamesAsStored, ShortNamesOfWhatTheFolderHoldsAreRefused) {
  qv::test::TempFolder temp{L"qv-manifest-stored"};
  const fs::path game = temp.path() / L"Game";
  for (const wchar_t* file : {L"CUSA09901/chunk1.psarc", L"CUSA09901/sce_sys/icon0.png", L"voice/vosk-model.bin",
                              L"screenshots/shot.png", L"enhanced-textures/t.dds", L"shaders_compiled/x.spv",
                              L"voice/README"}) {
    qv::test::WriteTestFile(game / file, "kept");
  }
  const std::string title = ShortNameOf(game / L"CUSA09901");
  const std::string archive = ShortNameOf(game / L"CUSA09901" / L"chunk1.psarc");
  const std::string shots = ShortNameOf(game / L"screenshots");
  const std::string textures = ShortNameOf(game / L"enhanced-textures");
  const std::string shaders = ShortNameOf(game / L"shaders_compiled");
  const std::string models = ShortNameOf(game / L"voice" / L"vosk-model.bin");
  ASSERT_FALSE(title.empty() || archive.empty() || shots.empty() || textures.empty() || shaders.empty() ||
               models.empty());

  const struct {
    std::vector<std::string> paths;
    std::string message;
  } cases[] = {
      {{"qv.exe", "shaders_compiled/x.spv", "Shaders_Compiled/new.spv", "voice/vosk-model.bin", "new/a.txt"},
       "(no exception)"},
      {{title + "/chunk1.psarc"},
       "The update lists " + title + "/chunk1.psarc, which is CUSA09901/chunk1.psarc under another name."},
      {{"CUSA09901/" + archive},
       "The update lists CUSA09901/" + archive + ", which is CUSA09901/chunk1.psarc under another name."},
      {{shots + "/shot.png"},
       "The update lists " + shots + "/shot.png, which is screenshots/shot.png under another name."},
      {{textures + "/new.dds"},
       "The update lists " + textures + "/new.dds, which is enhanced-textures/new.dds under another name."},
      // One file under two names.
      {{"shaders_compiled/x.spv", shaders + "/x.spv"},
       "The update lists " + shaders + "/x.spv, which is shaders_compiled/x.spv under another name."},
      {{"voice/" + models}, "The update lists voice/" + models + ", which is voice/vosk-model.bin under another name."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.paths));
    EXPECT_EQ(ThrownMessage([&] { CheckManifestNamesAsStored(game, Files(c.paths)); }), c.message);
  }
}

}  // namespace
