#include "selftest/scenario/scenario-portable.h"

#include <exception>
#include <stdexcept>
#include <vector>

#include "engine/install-outcome.h"
#include "engine/leftover-sweep.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/install-transaction.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-install-hooks.h"
#include "selftest/fixtures/test-payload.h"
#include "selftest/fixtures/title-portable-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/self-test-archives.h"
#include "selftest/test-file-list.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// Every check appends to the test's tokens as it goes, so that an exception
// that ends the test keeps the tokens found before it.

// The new release, its own "qv-files.json" included as the last file.
FixtureFiles NewRelease() {
  FixtureFiles files = {{"qv.exe", "new exe"},
                        {"shaders/same.spv", "same shader"},
                        {"shaders/changed.spv", "changed shader, new"},
                        {"voice/models/new.bin", "new model"}};
  files.push_back({"qv-files.json", RenderFilesJson(files)});
  return files;
}

// The release the copy holds: one file the new release keeps as it is, one
// it changes, and a licence only this release's list names.
FixtureFiles OldRelease() {
  return {{"qv.exe", "old exe"},
          {"shaders/same.spv", "same shader"},
          {"shaders/changed.spv", "changed shader, old"},
          {"licenses/OLD.txt", "an old licence"}};
}

struct PortableTest {
  fs::path folder;
  FileHasher hash;
  std::string payload;
  FixtureFiles new_release;
  FixtureFiles old_release;
  std::string texture;
};

void BuildCopy(const PortableTest& test, const fs::path& copy) {
  BuildPortableCopyFixture(copy, test.old_release, test.old_release, test.texture);
}

bool ReportsPortableCopy(const ExistingInstall& probed) {
  return probed.is_install && probed.portable && !probed.has_manifest;
}

// What the engine sees in the copy before it is updated.
void CheckRecognition(const PortableTest& test, const fs::path& copy, std::string& tokens) {
  try {
    Expect(!ReadExistingInstall(copy).is_install, " portable-taken-as-install", tokens);
  } catch (const std::exception&) {
    // Refusing the folder outright is as good an answer as "no installation".
  }
  const ExistingInstall probed = ProbePortableCopy(copy, test.hash);
  Expect(ReportsPortableCopy(probed) && probed.listed_files.size() == test.old_release.size(), " portable-inspect",
         tokens);
  Expect(FindGameDataRoots(copy) == std::vector<std::string>{"extractor/"}, " portable-game-folder", tokens);
}

// The copy after the update: the new release's files, nothing of the old
// one's, no install manifest, and everything of the player's as it was.
void CheckUpdatedCopy(const PortableTest& test, const fs::path& copy, const InstallOutcome& outcome,
                      std::string& tokens) {
  const bool counts = outcome.updated && outcome.previous_version == "9.9.8" && outcome.unchanged == 1 &&
                      outcome.verified == test.new_release.size();
  Expect(counts, " portable-counts(" + std::to_string(outcome.unchanged) + "/" + std::to_string(outcome.verified) + ")",
         tokens);
  Expect(!ItemExists(copy / L"qv-install-manifest.txt"), " portable-manifest-written", tokens);
  Expect(!ItemExists(copy / L"README.md") && !ItemExists(copy / L"licenses"), " portable-stale-kept", tokens);

  const bool game_files = ReadFileText(copy / L"extractor" / L"chunk1.psarc").size() == 64 &&
                          ReadFileText(copy / L"extractor" / L"texture.qar") == test.texture &&
                          ReadFileText(copy / L"extractor" / L"sce_sys" / L"pic1.png") == "the player's title picture";
  Expect(game_files, " portable-game-files", tokens);

  const FixtureFiles player_files = {{"data/qv.ini", "settings"},
                                     {"data/saves/progress.dat", "save"},
                                     {"mods/mine/init.lua", "player mod"},
                                     {"enhanced-textures/cache/a.dds", "generated texture"},
                                     {"notes-of-the-player.txt", "the player's own file"},
                                     {"dxgi.dll", "reshade"}};
  bool player_kept = true;
  for (const auto& [path, content] : player_files) {
    if (ReadFileText(copy / PathFromUtf8(path)) != content) {
      player_kept = false;
      break;
    }
  }
  Expect(player_kept, " portable-player", tokens);

  Expect(SnapshotTree(test.folder / L"fresh" / L"QV", IsIgnoredInPortableTest) ==
             SnapshotTree(copy, IsIgnoredInPortableTest),
         " portable-tree", tokens);
  Expect(ReportsPortableCopy(ProbePortableCopy(copy, test.hash)), " portable-after", tokens);
}

// Folders that only look like portable copies are none, built up one file at
// a time in one folder.
void CheckLookAlikes(const fs::path& bare, std::string& tokens) {
  auto probe_reports = [&bare] {
    const ExistingInstall probed = ProbePortableCopy(bare, {});
    return probed.is_install || probed.portable;
  };
  WriteFixtureFile(bare / L"qv.exe", "exe");
  Expect(!probe_reports(), " portable-no-list", tokens);
  WriteFixtureFile(bare / L"qv-files.json", RenderFilesJson({{"README.md", "x"}}));
  Expect(!probe_reports(), " portable-list-without-game", tokens);
  WriteFixtureFile(bare / L"qv-files.json", RenderFilesJson({{"qv.exe", "exe"}}));
  WriteInstallManifest(bare, "1.0.7", {{"qv.exe", std::string(64, '0')}}, "");
  Expect(!probe_reports(), " portable-with-manifest", tokens);
}

// An update that fails at commit step 2, after it has moved files, must put
// the copy back exactly and leave nothing beside it.
void CheckFailedUpdate(const PortableTest& test, const fs::path& parent, std::string& tokens) {
  const fs::path copy = parent / L"QV";
  BuildCopy(test, copy);
  const TreeSnapshot before = SnapshotTree(copy);

  InstallHooks hooks = MakePortableTestHooks(test.payload, test.hash, "f");
  hooks.fail_at_step = 2;
  InstallOutcome outcome;
  // Only the injected failure shows the undo: a run that fails early for
  // another reason restores a tree it never changed.
  tokens += RefusalFailure([&] { RunInstallTransaction(outcome, fs::path(), copy, false, hooks); },
                           "Test failure during the update.", RefusalText::kWhole, " portable-fail-not-thrown",
                           OtherExceptions::kPass);
  Expect(SnapshotTree(copy) == before, " portable-fail-undo", tokens);

  std::vector<FolderEntry> entries;
  if (const std::error_code error = SystemView().list_folder(parent, entries)) {
    throw fs::filesystem_error("directory_iterator::directory_iterator", parent, error);
  }
  for (const FolderEntry& entry : entries) {
    if (entry.name != L"QV") tokens += " portable-left-" + WideToUtf8(entry.name);
  }
}

void RunChecks(const PortableTest& test, std::string& tokens) {
  ExtractPayload(test.payload.data(), test.payload.size(), test.folder / L"fresh" / L"QV", test.hash);
  const fs::path copy = test.folder / L"copy" / L"QV";
  BuildCopy(test, copy);
  CheckRecognition(test, copy, tokens);

  InstallOutcome outcome;
  RunInstallTransaction(outcome, fs::path(), copy, false, MakePortableTestHooks(test.payload, test.hash, "p"));
  CheckUpdatedCopy(test, copy, outcome, tokens);
  CheckLookAlikes(test.folder / L"bare" / L"QV", tokens);
  CheckFailedUpdate(test, test.folder / L"undo", tokens);
}

}  // namespace

std::string SelfTestPortableUpdate(const fs::path& folder, const FileHasher& hash) {
  PortableTest test{folder, hash, {}, NewRelease(), OldRelease(), SelfTestTextureArchive()};
  test.payload = BuildTestPayload(folder / L"payload-scratch", test.new_release, hash);
  std::string tokens;
  try {
    RunChecks(test, tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" portable-update: ", error);
  }
  return tokens;
}

}  // namespace qv::setup
