// The player's side of an installation: the "data" folder, which no staged
// file may replace under any spelling Windows resolves to it; the write probe
// the setup runs before it writes into a folder; and the data folder of an
// installation folder whose name holds blanks.

#include <exception>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/folder-tests.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "gamesource/game-data-folder.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/update-test-trees.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/scenario/scenario-update-sections.h"

namespace qv::setup {

namespace fs = std::filesystem;

std::string CheckReservedPlayerData(const fs::path& folder, const std::string& texture_archive) {
  const UpdateTestFolders f = UpdateTestFoldersIn(folder / L"reserved-data");
  BuildOlderInstallFixture(f.install, true, texture_archive);
  // On Windows every spelling below names this one staged file.
  WriteFixtureFile(f.staging / L"data" / L"qv.log", "payload overwrite");

  // The refusal must be the guard's, before anything moves: a commit that
  // let an alias through and then failed for another reason (under Wine
  // "data /qv.log" names no file) would leave the log intact by luck.
  const auto commit_refused = [&](const std::string& path, const std::string& token) {
    std::string failure = RefusalFailure(
        [&] {
          const ExistingInstall existing = ReadExistingInstall(f.install);
          CommitStagedFiles(f.staging, f.install, {{path, ""}}, {}, existing, f.backup, -1, nullptr, {});
        },
        "The installer payload cannot contain files under data/.", RefusalText::kWhole, token);
    if (failure.empty() && ReadFileText(f.install / L"data" / L"qv.log") != "user folder log") failure = token;
    return failure;
  };
  std::string tokens = commit_refused("data/qv.log", " payload-data-overwrite-accepted");
  for (const char* alias : {"data./qv.log", "data /qv.log", "DATA\\qv.log"}) {
    tokens += commit_refused(alias, " payload-data-alias-overwrite-accepted");
  }
  for (const char* alias : {"DATA\\qv.log", "data./qv.log", "data /qv.log"}) {
    Expect(IsUnderDataFolder(alias), " data-alias-not-reserved", tokens);
  }
  return tokens;
}

std::string CheckWriteProbe(const fs::path& folder) {
  const fs::path probed = folder / L"write-probe";
  CreateFolders(probed);
  std::string tokens;
  try {
    ProbeWritableFolder(probed, "selftest", "test folder");
    Expect(!ItemExists(probed / L".qv-write-probe-selftest"), " write-probe-left-files", tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" write-probe-writable-folder: ", error);
  }

  // As root under Wine nothing else is unwritable: a plain file standing
  // where the folder should be is the case the probe must refuse.
  const fs::path file = folder / L"not-a-folder";
  WriteFixtureFile(file, "x");
  tokens += RefusalFailure([&] { ProbeWritableFolder(file, "selftest", "test folder"); },
                           "The test folder must be a writable folder.", RefusalText::kWhole,
                           " write-probe-accepted-file");
  return tokens;
}

std::string CheckCustomDataFolder(const fs::path& folder) {
  const fs::path root = folder / L"custom install location" / L"QV";
  CreateFolders(root);
  const PathValidator accept_any = [](const fs::path&) {};
  std::string tokens;
  try {
    EnsureGameDataFolder(root, "custom-selftest", accept_any);
    WriteFixtureFile(root / L"data" / L"qv.log", "player log");
    // Prepared again, as the next update does: the player's log stays.
    EnsureGameDataFolder(root, "custom-selftest-2", accept_any);
    Expect(ReadFileText(root / L"data" / L"qv.log") == "player log", " custom-data-not-preserved", tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" custom-data-directory: ", error);
  }
  return tokens;
}

}  // namespace qv::setup
