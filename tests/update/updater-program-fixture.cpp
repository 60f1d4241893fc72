#include "updater-program-fixture.h"

#include <algorithm>

#include "engine/journal/update-journal.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/test-paths.h"
#include "support/test-releases.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::wstring> kGameArguments = {L"-windowed", L"two words"};

bool IsRunRecord(const std::string& key) {
  for (std::string_view name : {"/data/qv-updater.log", "/data/qv-update.log", "/data/qv-stand-in-runs.txt",
                                "/data/update-journal.txt.paused"}) {
    if (key.ends_with(name)) return true;
  }
  return false;
}

}  // namespace

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string PassedResult() {
  return std::string("PASS updated ") + kUpdateVersion + "\npage " + ReleasePage(kUpdateVersion) + "\ndetail \n";
}

std::string FailedResultStart(const std::string& word, const std::string& version) {
  return word + " " + version + "\npage " + ReleasePage(kUpdateVersion) + "\ndetail ";
}

void UpdaterProgram::SetUp() {
  ASSERT_NE(RunningTestServer(), nullptr);
  ASSERT_TRUE(TrustTestRoot());  // the program shares the private prefix
}

std::vector<std::wstring> UpdaterProgram::Arguments(const fs::path& folder,
                                                    const std::vector<std::wstring>& more) const {
  std::vector<std::wstring> arguments = {L"--game-update", folder.native(), L"--lang", L"2"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  arguments.push_back(L"--");
  arguments.insert(arguments.end(), kGameArguments.begin(), kGameArguments.end());
  return arguments;
}

std::vector<std::string> UpdaterProgram::Environment(const std::string& document,
                                                     std::vector<std::string> more) const {
  more.push_back("QV_UPDATE_TEST_RESULT=" + qv::setup::WideToUtf8(result.native()));
  return UpdaterEnvironment(document, std::move(more));
}

std::string UpdaterProgram::Run(const fs::path& folder, const std::string& document,
                                std::vector<std::string> environment, const std::vector<std::wstring>& more_arguments) {
  std::error_code ignored;
  fs::remove(result, ignored);
  run = RunProgram(SetupProgramPath(), Arguments(folder, more_arguments), Environment(document, std::move(environment)),
                   kUpdaterTimeout);
  return qv::setup::ReadFileText(result);
}

StartedChild UpdaterProgram::Start(const fs::path& folder, const std::string& document,
                                   std::vector<std::string> environment) {
  std::error_code ignored;
  fs::remove(result, ignored);
  return StartProgram(SetupProgramPath(), Arguments(folder), Environment(document, std::move(environment)));
}

qv::setup::TreeSnapshot UpdaterProgram::Snapshot(const fs::path& games) const {
  return qv::setup::SnapshotTree(games, IsRunRecord);
}

void UpdaterProgram::ExpectReleaseFilesInPlace(const fs::path& folder) const {
  for (const auto& [path, bytes] : qv::setup::SnapshotFileContents(TestReleasesFolder() / L"update-content")) {
    EXPECT_EQ(qv::setup::ReadFileText(folder / qv::setup::PathFromUtf8(path)), bytes) << path;
  }
  EXPECT_NE(qv::setup::ReadFileText(folder / L"qv-files.json"), "");
}

void UpdaterProgram::ExpectPlayerFilesUntouched(const fs::path& folder) const {
  for (const auto& [path, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"CUSA09901/chunk1.psarc", "PSAR old archive"},
           {"CUSA09901/texture.qar", TextureArchiveBytes()},
           {"qv.ini", "player settings"},
           {"data/qv.ini", "user folder settings"},
           {"data/qv.log", "user folder log"},
           {"data/saves/progress.dat", "user save"},
           {"mods/mine/init.lua", "player mod"},
           {"reshade.dll", "player dll"}}) {
    EXPECT_EQ(qv::setup::ReadFileText(folder / qv::setup::PathFromUtf8(path)), bytes) << path;
  }
}

void UpdaterProgram::ExpectNoTemporaryFolders(const OlderGame& older) const {
  std::vector<std::wstring> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(older.games)) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::wstring>{L"Q.V. DU Vora"});
  EXPECT_FALSE(fs::exists(qv::setup::UpdateJournalPath(older.folder)));
}

std::vector<StandInGameRun> UpdaterProgram::GameRuns(const fs::path& folder, std::size_t count) const {
  std::vector<StandInGameRun> runs = WaitForStandInGameRuns(folder, count);
  for (const StandInGameRun& start : runs) EndStandInGame(start);
  return runs;
}

std::vector<LoggedRequest> UpdaterProgram::SetupRequests(const std::string& name) {
  return TestServerLogFor("/files/" + name + ".exe");
}

std::size_t UpdaterProgram::WholeDownloads(const std::vector<LoggedRequest>& requests) {
  return static_cast<std::size_t>(
      std::count_if(requests.begin(), requests.end(), [](const LoggedRequest& request) { return request.range == "-"; }));
}

}  // namespace qv::test
