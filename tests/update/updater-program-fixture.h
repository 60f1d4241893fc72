#pragma once
// Runs of "--game-update" through the built program under Wine, headless in
// update test mode, on an older installation (OlderGame) with the update
// test releases on the project's HTTPS test server.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-process.h"
#include "support/stand-in-game.h"
#include "support/test-server.h"
#include "updater-fixtures.h"

namespace qv::test {

inline constexpr std::chrono::seconds kUpdaterTimeout{120};

bool StartsWith(const std::string& text, const std::string& prefix);

// The result file of a run that updated to the test release.
std::string PassedResult();

// The result file's first line and the page line of a run that failed with
// `word` once the release page was known, without the detail line.
std::string FailedResultStart(const std::string& word, const std::string& version);

class UpdaterProgram : public ::testing::Test {
 protected:
  void SetUp() override;

  // "--game-update <folder> --lang 2 <more> -- -windowed "two words"".
  std::vector<std::wstring> Arguments(const std::filesystem::path& folder,
                                      const std::vector<std::wstring>& more = {}) const;
  // UpdaterEnvironment with the result file.
  std::vector<std::string> Environment(const std::string& document, std::vector<std::string> more = {}) const;

  // Runs the updater on a game folder to its end; its result file.
  std::string Run(const std::filesystem::path& folder, const std::string& document,
                  std::vector<std::string> environment = {}, const std::vector<std::wstring>& more_arguments = {});
  // Starts it without waiting.
  StartedChild Start(const std::filesystem::path& folder, const std::string& document,
                     std::vector<std::string> environment = {});

  // The folder around the game, without what runs record (logs, the
  // stand-in's records, the test pause's marker).
  qv::setup::TreeSnapshot Snapshot(const std::filesystem::path& games) const;

  void ExpectReleaseFilesInPlace(const std::filesystem::path& folder) const;
  void ExpectPlayerFilesUntouched(const std::filesystem::path& folder) const;
  // Nothing beside the game folder (no staging, backup or download folder)
  // and no journal.
  void ExpectNoTemporaryFolders(const OlderGame& game) const;

  // The stand-in's starts in the folder (at least `count`), each ended so
  // that the folder can go.
  std::vector<StandInGameRun> GameRuns(const std::filesystem::path& folder, std::size_t count) const;

  static std::vector<LoggedRequest> SetupRequests(const std::string& name);
  static std::size_t WholeDownloads(const std::vector<LoggedRequest>& requests);

  OlderGame game;
  std::filesystem::path result = game.temp / L"result.txt";
  ChildRun run;
};

}  // namespace qv::test
