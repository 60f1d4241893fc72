// "--game-update" end to end through the built program under Wine, headless
// in update test mode: the older installation really updated from the update
// test releases on the project's HTTPS test server, the new version played by
// the stand-in game.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "setup/folder-size.h"
#include "setup/uninstall-entry.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/test-file-list.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/uninstall-entry-probe.h"
#include "support/updater-log-lines.h"
#include "update/updater/game-start.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;
using qv::setup::ReadFileText;
using qv::setup::TreeSnapshot;

// Where the signed overlay of the "update" release begins: every file's
// stream lies before it.
std::uint64_t OverlayStart() {
  const std::string setup = ReadTestFile(TestReleaseSetup(L"update"));
  const std::size_t field = setup.size() - 48 + 16;  // the trailer's manifest offset
  std::uint64_t offset = 0;
  for (int i = 7; i >= 0; --i) offset = (offset << 8) | static_cast<unsigned char>(setup[field + i]);
  return offset;
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
  EXPECT_TRUE(AnyContains(UpdateLogLines(game.folder), "in-game update to 1.2.0: "));
  EXPECT_TRUE(AnyContains(UpdateLogLines(game.folder), "(parts of the package) of a "));
}

// The list of installed programs follows an update of the installation its
// entry names (the same folder, however its text is written): the new
// version and the new size. An entry that names another folder is another
// installation's, and stays as it was.
TEST_F(UpdaterProgram, TheUninstallEntryOfTheUpdatedFolderFollowsTheUpdate) {
  const std::wstring key(qv::setup::kUninstallKeyPath);
  const struct {
    const char* what;
    bool names_the_folder;
  } cases[] = {{"the updated folder, in other letter case", true}, {"another folder", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OlderGame older;
    WriteStandInControl(older.folder, "confirm\n");
    std::wstring location = (c.names_the_folder ? older.folder : older.games / L"Other").native();
    qv::setup::WriteUninstallEntry(location);
    // As Windows keeps it, typed otherwise: the same folder to the file system.
    for (wchar_t& letter : location) letter = static_cast<wchar_t>(std::towupper(letter));
    location += L"\\";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"InstallLocation", REG_SZ, location.c_str(),
                                static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const DWORD stale_size = 1;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"EstimatedSize", REG_DWORD, &stale_size,
                                sizeof stale_size),
              ERROR_SUCCESS);
    const std::optional<std::wstring> uninstaller = UninstallEntryText(L"UninstallString");

    const std::string document = ServeRelease(c.names_the_folder ? "entry-named" : "entry-other", L"update",
                                              kUpdateVersion);
    EXPECT_EQ(Run(older.folder, document), PassedResult()) << run.output;
    GameRuns(older.folder, 1);

    if (c.names_the_folder) {
      EXPECT_EQ(UninstallEntryText(L"DisplayVersion"), qv::setup::Utf8ToWide(kUpdateVersion));
      EXPECT_EQ(UninstallEntryNumber(L"EstimatedSize"), qv::setup::FolderSize(older.folder) / 1024);
    } else {
      EXPECT_EQ(UninstallEntryText(L"DisplayVersion"), std::wstring(L"1.1.0"));
      EXPECT_EQ(UninstallEntryNumber(L"EstimatedSize"), stale_size);
    }
    EXPECT_EQ(UninstallEntryText(L"InstallLocation"), location);
    EXPECT_EQ(UninstallEntryText(L"UninstallString"), uninstaller);
    DeleteUninstallEntryKey();
  }
}

// The whole setup file instead of its parts: asked for, because the server
// ignores ranges (or answers other parts) from the manifest on, or because it
// does so only for the files' streams (the run falls back in the middle). One
// download each, and the update log tells why the parts were not taken.
TEST_F(UpdaterProgram, TheWholeSetupFile) {
  const std::string ignored = "localhost does not serve parts of a file";
  const std::string other_part = "localhost answered another part of the file than the one asked for";
  const struct {
    const char* name;
    std::string query;
    std::vector<std::string> environment;
    std::string reason;  // empty: none logged
  } cases[] = {
      {"whole-asked", "", {"QV_UPDATE_TEST_FULL=1"}, ""},
      {"whole-ranges-ignored", "ranges=ignore", {}, ignored},
      {"whole-files-ignored", "wholebelow=" + std::to_string(OverlayStart()), {}, ignored},
      // Answers for another part than the one asked for count as no parts.
      {"whole-other-part", "shift=1", {}, other_part},
      {"whole-files-other-part", "skip=2&shift=1", {}, other_part},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OlderGame older;
    WriteStandInControl(older.folder, "confirm\n");
    const std::string document = ServeRelease(c.name, L"update", kUpdateVersion, c.query);
    EXPECT_EQ(Run(older.folder, document, c.environment), PassedResult()) << run.output;
    ExpectReleaseFilesInPlace(older.folder);
    ExpectPlayerFilesUntouched(older.folder);
    ExpectNoTemporaryFolders(older);
    EXPECT_EQ(WholeDownloads(SetupRequests(c.name)), 1u);
    EXPECT_TRUE(AnyContains(UpdateLogLines(older.folder), "(the whole package) of a "));
    EXPECT_EQ(AnyContains(UpdateLogLines(older.folder), "parts of the package could not be fetched ("),
              !c.reason.empty());
    if (!c.reason.empty()) {
      EXPECT_TRUE(AnyContains(UpdateLogLines(older.folder), c.reason + "); the whole package is downloaded instead"))
          << testing::PrintToString(UpdateLogLines(older.folder));
    }
    GameRuns(older.folder, 1);
  }
}

// A portable copy (no install manifest; its file list names "qv.exe") is
// updated where it lies and stays portable.
TEST_F(UpdaterProgram, APortableCopyIsUpdatedInPlace) {
  fs::remove(game.folder / L"qv-install-manifest.txt");
  qv::setup::WriteFixtureFile(game.folder / L"qv-files.json",
                              qv::setup::RenderFilesJson({{"qv.exe", "old exe"}, {"shaders/a.spv", "old a"}}));
  WriteStandInControl(game.folder, "confirm\n");
  const std::string document = ServeRelease("portable", L"update", kUpdateVersion);
  EXPECT_EQ(Run(game.folder, document), PassedResult()) << run.output;
  ExpectReleaseFilesInPlace(game.folder);
  ExpectPlayerFilesUntouched(game.folder);
  ExpectNoTemporaryFolders(game);
  EXPECT_FALSE(fs::exists(game.folder / L"qv-install-manifest.txt"));
  EXPECT_TRUE(AnyContains(UpdateLogLines(game.folder), "in-game update of a portable copy to 1.2.0: "));
  GameRuns(game.folder, 1);
}

// The game named by "--pid" closes first; only then does the update begin.
TEST_F(UpdaterProgram, TheRunningGameIsAwaited) {
  const fs::path elsewhere = game.temp / L"running";
  PlaceStandInGame(elsewhere);
  WriteStandInControl(elsewhere, "sleep 3000\n");
  qv::setup::GameStart running = qv::setup::StartGame(elsewhere, {}, false);
  ASSERT_TRUE(running.process.valid());
  WriteStandInControl(game.folder, "confirm\n");
  const std::string document = ServeRelease("awaited", L"update", kUpdateVersion);
  EXPECT_EQ(Run(game.folder, document, {}, {L"--pid", std::to_wstring(::GetProcessId(running.process.get()))}),
            PassedResult())
      << run.output;
  // Had the updater not waited, the game would still run now.
  EXPECT_EQ(::WaitForSingleObject(running.process.get(), 0), WAIT_OBJECT_0);
  ExpectReleaseFilesInPlace(game.folder);
  GameRuns(game.folder, 1);
}

// Failures after files moved: the tree is put back byte for byte, and
// nothing of the update stays beside it.
TEST_F(UpdaterProgram, FailuresPutTheOldTreeBack) {
  const struct {
    const char* name;
    const char* control;  // what the new version does at its start
    std::vector<std::string> environment;
    std::string result;  // its first line and, after the page, its detail
    std::string detail;
  } cases[] = {
      {"stops", "exit 3\n", {}, "FAIL rolled-back 1.2.0", "the new version stopped at its start (exit code 3)"},
      // The release, and so the version, is known before the update fails.
      {"fails-first", "confirm\n", {"QV_UPDATE_TEST_FAIL_AT=0"}, "FAIL failed 1.2.0", "Test failure during the update."},
      {"fails-later", "confirm\n", {"QV_UPDATE_TEST_FAIL_AT=4"}, "FAIL failed 1.2.0", "Test failure during the update."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OlderGame older;
    WriteStandInControl(older.folder, c.control);
    qv::setup::WriteUninstallEntry(older.folder);
    const std::optional<std::uint32_t> size = UninstallEntryNumber(L"EstimatedSize");
    const TreeSnapshot before = Snapshot(older.games);
    const std::string document = ServeRelease(c.name, L"update", kUpdateVersion);
    EXPECT_EQ(Run(older.folder, document, c.environment),
              c.result + "\npage " + ReleasePage(kUpdateVersion) + "\ndetail " + c.detail + "\n")
        << run.output;
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(Snapshot(older.games), before);
    ExpectNoTemporaryFolders(older);
    // The entry still describes the version that stays.
    EXPECT_EQ(UninstallEntryText(L"DisplayVersion"), std::wstring(L"1.1.0"));
    EXPECT_EQ(UninstallEntryNumber(L"EstimatedSize"), size);
    DeleteUninstallEntryKey();
  }
}

// A file damaged after the commit is found by the check and fetched again.
TEST_F(UpdaterProgram, ADamagedFileIsFetchedAgain) {
  WriteStandInControl(game.folder, "confirm\n");
  const std::string document = ServeRelease("damaged", L"update", kUpdateVersion);
  EXPECT_EQ(Run(game.folder, document, {"QV_UPDATE_TEST_CORRUPT=shaders/a.spv"}), PassedResult()) << run.output;
  EXPECT_EQ(ReadFileText(game.folder / L"shaders" / L"a.spv"), "new a");
  ExpectReleaseFilesInPlace(game.folder);
  ExpectNoTemporaryFolders(game);
  EXPECT_TRUE(AnyContains(UpdaterLogMessages(game.folder), ", 1 fetched again; downloaded "));
  GameRuns(game.folder, 1);
}

}  // namespace
