#include "selftest/scenario/scenario-title-picture.h"

#include <exception>

#include "engine/journal/update-journal.h"
#include "engine/records/existing-install.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/title-portable-fixtures.h"
#include "selftest/scenario/title-regions.h"
#include "selftest/scenario/title-test-run.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

struct TitleUpdateFolders {
  fs::path installation;
  fs::path deep_dump;  // out of reach of the engine's own search for dumps
};

TitleUpdateFolders WriteTitleUpdateFixtures(const TitleTest& test) {
  TitleUpdateFolders folders{test.folder / L"games" / L"Q.V. DU Vora",
                             test.folder / L"elsewhere" / L"deep" / L"dump" / L"CUSA09901-app"};
  WriteDumpTitleFiles(folders.deep_dump, TitlePictureBytes(), "CUSA09901", "");
  BuildTitleTestInstall(folders.installation, SelfTestTextureArchive());
  return folders;
}

bool PlayerFilesKept(const fs::path& installation) {
  return ReadFileText(installation / L"mods" / L"mine" / L"init.lua") == "player mod" &&
         ReadFileText(installation / L"data" / L"qv.ini") == "settings" &&
         ReadFileText(installation / L"data" / L"saves" / L"progress.dat") == "save";
}

// Run "a": no source given and none recorded, no dump within reach.
void CheckUpdateWithoutSource(const TitleTest& test, const fs::path& installation, std::string& tokens) {
  const InstallOutcome outcome = RunTitleUpdate(test, {}, installation, "a");
  if (!outcome.updated) tokens += " title-update-not-update";
  if (fs::exists(InstalledTitlePicture(installation)) || !outcome.title_picture_missing) {
    tokens += " title-empty-field";
  }
  if (ReadFileText(installation / L"qv.exe") != "new exe" ||
      ReadFileText(installation / L"shaders" / L"new.spv") != "new shader") {
    tokens += " title-new-files";
  }
  if (fs::exists(installation / L"shaders" / L"gone.spv")) tokens += " title-obsolete-kept";
  if (!PlayerFilesKept(installation)) tokens += " title-player-files";
  if (fs::exists(UpdateJournalPath(installation))) tokens += " title-journal-left";
}

// Runs "b" to "d": the installation's own title folder is never the game; a
// dump given as the source gives the picture and is recorded, and the
// recorded source brings the picture back later.
void CheckSourceRecording(const TitleTest& test, const TitleUpdateFolders& folders, std::string& tokens) {
  const fs::path& installation = folders.installation;
  const fs::path picture = InstalledTitlePicture(installation);

  RunTitleUpdate(test, installation / L"CUSA09901", installation, "b");
  if (fs::exists(picture) || !ReadExistingInstall(installation).source.empty()) tokens += " title-own-folder";

  const InstallOutcome from_dump = RunTitleUpdate(test, folders.deep_dump, installation, "c");
  if (ReadFileText(picture) != TitlePictureBytes() || from_dump.title_picture_missing) tokens += " title-dump";
  const fs::path recorded = PathFromUtf8(ReadExistingInstall(installation).source);
  if (fs::weakly_canonical(folders.deep_dump) != fs::weakly_canonical(recorded)) {
    tokens += " title-source-not-recorded";
  }

  fs::remove(picture);
  // A trailing separator names the same installation.
  RunTitleUpdate(test, {}, fs::path(installation.native() + L"\\"), "d");
  if (ReadFileText(picture) != TitlePictureBytes()) tokens += " title-recorded-source";
}

void CheckNothingLeftInside(const fs::path& installation, std::string& tokens) {
  for (const fs::directory_entry& entry : fs::directory_iterator(installation)) {
    if (ToGenericUtf8Lenient(entry.path().filename()).starts_with(".qv-")) {
      tokens += " title-work-folder-inside-install";
    }
  }
  if (ReadExistingInstall(installation).version != "9.9.9") tokens += " title-version";
}

// Four updates of one installation, each starting from what the last left.
void RunTitleUpdateGroup(const TitleTest& test, const TitleUpdateFolders& folders, std::string& tokens) {
  try {
    CheckUpdateWithoutSource(test, folders.installation, tokens);
    CheckSourceRecording(test, folders, tokens);
    CheckNothingLeftInside(folders.installation, tokens);
  } catch (const std::exception& error) {
    tokens += std::string(" title-update: ") + error.what();
  }
}

}  // namespace

std::string SelfTestTitlePictureUpdate(const fs::path& folder, const FileHasher& hash) {
  const TitleTest test = PrepareTitleTest(folder, hash);
  const TitleUpdateFolders folders = WriteTitleUpdateFixtures(test);

  std::string tokens;
  RunTitleUpdateGroup(test, folders, tokens);
  RunTitleGuessGroup(test, tokens);
  RunRegionGroup(test, tokens);

  // RemoveTree never follows a junction out of the test folder; what it
  // cannot remove is left to the driver's removal of the root.
  (void)RemoveTree(folder);
  return tokens;
}

}  // namespace qv::setup
