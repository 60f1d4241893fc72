#include "selftest/scenario/title-regions.h"

#include <exception>
#include <string_view>
#include <utility>

#include "engine/path-classes.h"
#include "gamesource/archive-copy.h"
#include "gamesource/game-source.h"
#include "gamesource/param-sfo.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/title-portable-fixtures.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The European release's identifiers, and those of a release of another
// region that only its path-ID list marks as this game.
constexpr const char* kEuropeTitle = "CUSA09903";
constexpr const char* kEuropeContent = "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT";
constexpr const char* kOtherTitle = "CUSA09999";
constexpr const char* kOtherContent = "HP4511-CUSA09999_00-PPPPPPPPTTTTTTTT";
constexpr std::string_view kOtherSourceLines =
    "content_id=HP4511-CUSA09999_00-PPPPPPPPTTTTTTTT\ntitle_id=CUSA09999\nregion=Asia";

bool EuropeanArchivesKept(const InstallOutcome& outcome, const fs::path& installation) {
  return outcome.updated && !outcome.archives_restored && !fs::exists(installation / L"CUSA09901") &&
         ReadFileText(installation / L"CUSA09903" / L"chunk1.psarc") == "PSAR old archive";
}

// Run "f": a European dump applied to an installation whose title folder
// carries the European identifier keeps its archives and its folder name;
// run "g", without a source, changes none of that.
void CheckEuropeanUpdates(const TitleTest& test, const fs::path& installation, const fs::path& dump,
                          std::string& tokens) {
  const InstallOutcome from_dump = RunTitleUpdate(test, dump, installation, "f");
  if (!from_dump.updated || from_dump.archives_restored) tokens += " region-eu-archives-restored";
  if (ReadFileText(installation / L"CUSA09903" / L"chunk1.psarc") != "PSAR old archive") {
    tokens += " region-eu-archives-changed";
  }
  if (fs::exists(installation / L"CUSA09901")) tokens += " region-eu-stray-folder";
  if (ReadFileText(InstalledTitlePicture(installation, L"CUSA09903")) != TitlePictureBytes()) {
    tokens += " region-eu-picture";
  }
  if (ReadFileText(installation / L"data" / L"qv.ini") != "settings" ||
      ReadFileText(installation / L"mods" / L"mine" / L"init.lua") != "player mod") {
    tokens += " region-eu-player-files";
  }

  const InstallOutcome without_source = RunTitleUpdate(test, {}, installation, "g");
  if (!EuropeanArchivesKept(without_source, installation)) tokens += " region-eu-update-without-source";
}

// The dump's identifiers give its region, and its archive copy records them.
void CheckRegionRecords(const TitleTest& test, const fs::path& dump, std::string& tokens) {
  const GameFiles european = ResolveGameSource(dump).files;
  if (european.title_id != kEuropeTitle || european.content_id != kEuropeContent ||
      RegionFromContentId(european.title_id, european.content_id) != "Europe") {
    tokens += " region-eu-identify";
  }

  WriteFixtureFile(dump / L"pathid_list_ps4.bin", SelfTestPathIdList());
  WriteFixtureFile(dump / L"sce_sys" / L"param.sfo", BuildTestParamSfo(kOtherTitle, kOtherContent));
  const GameFiles other = ResolveGameSource(dump).files;
  if (RegionFromContentId(other.title_id, other.content_id) != "Asia") tokens += " region-other-identify";

  const fs::path copy = test.folder / L"eu" / L"copy";
  CopyGameArchives(other, copy);
  const std::string record = ReadFileText(copy / L"source.txt");
  if (record.find(kOtherSourceLines) == std::string::npos) {
    tokens += " region-other-source";
  }
}

// Title folders of any region and letter case, and "-app" dump folders, are
// the player's; a file named after a title and a program file are not.
void CheckPlayerPaths(std::string& tokens) {
  const std::pair<const char*, bool> cases[] = {{"CUSA09903/chunk1.psarc", true},
                                                {"CUSA09903-app/", true},
                                                {"cusa09902/texture.qar", true},
                                                {"CUSA09903.txt", false},
                                                {"shaders/a.spv", false}};
  for (const auto& [path, preserved] : cases) {
    if (IsPreservedUserPath(path) != preserved) {
      tokens += " region-player-path";
      return;
    }
  }
}

}  // namespace

void RunTitleGuessGroup(const TitleTest& test, std::string& tokens) {
  try {
    const fs::path side = test.folder / L"side";
    const fs::path installation = side / L"Q.V. DU Vora";
    BuildTitleTestInstall(installation, SelfTestTextureArchive());
    WriteDumpTitleFiles(side / L"my-dump", TitlePictureBytes(), "CUSA09901", "");
    // The other game's dump must be one the engine would take but for its
    // title: listed before the player's (volumes list a folder in name
    // order), with a picture that passes for a PNG yet differs from ours.
    WriteDumpTitleFiles(side / L"another-game", TitlePictureBytes() + "not ours", "CUSA99999", "");

    const InstallOutcome outcome = RunTitleUpdate(test, {}, installation, "e");
    if (ReadFileText(InstalledTitlePicture(installation)) != TitlePictureBytes() || outcome.title_picture_missing) {
      tokens += " title-guess";
    }
  } catch (const std::exception& error) {
    tokens += std::string(" title-guess: ") + error.what();
  }
}

void RunRegionGroup(const TitleTest& test, std::string& tokens) {
  try {
    const fs::path installation = test.folder / L"eu" / L"Q.V. DU Vora";
    BuildTitleTestInstall(installation, SelfTestTextureArchive());
    fs::rename(installation / L"CUSA09901", installation / L"CUSA09903");

    const fs::path dump = test.folder / L"eu" / L"dump" / L"my-eu-copy";
    WriteFixtureFile(dump / L"chunk1.psarc", "PSAR dump archive");
    WriteFixtureFile(dump / L"texture.qar", SelfTestTextureArchive());
    WriteDumpTitleFiles(dump, TitlePictureBytes(), kEuropeTitle, kEuropeContent);

    CheckEuropeanUpdates(test, installation, dump, tokens);
    CheckRegionRecords(test, dump, tokens);
    CheckPlayerPaths(tokens);
  } catch (const std::exception& error) {
    tokens += std::string(" region: ") + error.what();
  }
}

}  // namespace qv::setup
