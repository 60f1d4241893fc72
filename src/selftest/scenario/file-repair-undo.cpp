#include "selftest/scenario/file-repair-undo.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <string_view>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/text/text.h"
#include "selftest/file-write-time.h"
#include "selftest/fixtures/file-update-fixtures.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// What the commit's test hook raises at its failure step.
constexpr std::string_view kTestFailureText = "Test failure during the update.";

// The failure mode: the commit fails at step 4 and must undo itself. Any
// other failure means the undo was never put to the test (a run refused
// before it touched anything passes the snapshot comparison by default).
void BreakWithFailure(const FileTest& test, const fs::path& installation, std::string& tokens) {
  InstallHooks hooks = FileTestHooks(test, "f");
  hooks.fail_at_step = 4;
  try {
    RunFileUpdate(installation, hooks);
    tokens += " files-fail-not-thrown";
  } catch (const std::exception& error) {
    if (error.what() != kTestFailureText) tokens += std::string(" files-fail-not-thrown: ") + error.what();
  }
}

// The crash mode: the commit stops dead at step 4, leaving its journal, and
// the recovery of a later start (its writer gone) must undo it.
void BreakWithCrash(const FileTest& test, const fs::path& installation) {
  const fs::path parent = installation.parent_path();
  const fs::path staging = parent / L".qv-update-c";
  std::vector<InstalledFile> staged;
  for (const auto& [path, content] : test.release) {
    WriteFixtureFile(staging / PathFromUtf8(path), content);
    staged.push_back({path, ""});
  }
  WriteInstallManifest(staging, "9.9.9", {}, "");

  CommitResult result;
  JournalContext journal;
  journal.journal_path = UpdateJournalPath(installation);
  journal.old_version = "1.0.3";
  journal.new_version = "9.9.9";
  journal.crash_at = 4;
  try {
    CommitStagedFiles(staging, installation, staged, {"qv-install-manifest.txt"}, ReadExistingInstall(installation),
                      parent / L".qv-update-old-c", -1, &journal, {});
  } catch (const SimulatedCrash&) {
    // As after a real crash: no undo, the journal stays.
  }
  RecoverInterruptedUpdate(installation);
}

struct UndoMode {
  const wchar_t* folder;  // holds the installation "QV"
  std::string_view token;
  bool crash;
};

constexpr UndoMode kUndoModes[] = {{L"undo0", " files-fail-undo", false}, {L"undo1", " files-crash-undo", true}};

void RunUndoMode(const FileTest& test, const UndoMode& mode, std::string& tokens) {
  const fs::path folder = test.folder / mode.folder;
  const fs::path installation = folder / L"QV";
  BuildFileUpdateFixture(installation, true, SelfTestTextureArchive());
  const TreeSnapshot before = SnapshotTree(installation, IsUpdateLogKey);

  if (mode.crash) {
    BreakWithCrash(test, installation);
  } else {
    BreakWithFailure(test, installation, tokens);
  }

  if (SnapshotTree(installation, IsUpdateLogKey) != before) tokens += mode.token;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename() != L"QV") tokens += " files-left-" + WideToUtf8(entry.path().filename().native());
  }
}

}  // namespace

void RunRepairScenarios(const FileTest& test, std::string& tokens) {
  const fs::path installation = test.folder / L"old" / L"QV";

  // Already at the new version: only what differs is written, and that is
  // the install manifest alone, which the counts of the release's files leave out.
  const fs::path exe = installation / L"qv.exe";
  const std::uint64_t exe_written = BackdateFile(exe);
  const InstallOutcome repair = RunFileUpdate(installation, FileTestHooks(test, "repair"));
  if (repair.unchanged != kFileTestExpectedFiles || repair.replaced != 0 || repair.added != 0 ||
      ReadLastWriteTime(exe) != exe_written) {
    tokens += " files-repair";
  }

  // A damaged program file is rewritten; one damaged after the commit is
  // found by the final check and fetched again.
  WriteFixtureFile(installation / L"shaders" / L"changed.spv", "changed shader, old");
  InstallHooks hooks = FileTestHooks(test, "damaged");
  hooks.corrupt_after_commit = "voice/models/new.bin";
  const InstallOutcome damaged = RunFileUpdate(installation, hooks);
  if (damaged.repaired != 1 || ReadFileText(installation / L"voice" / L"models" / L"new.bin") != "a new voice model") {
    tokens += " files-check-repair";
  }
  if (fs::exists(installation.parent_path() / L".qv-update-fix-damaged")) tokens += " files-fix-folder-left";
}

void RunUndoScenarios(const FileTest& test, std::string& tokens) {
  for (const UndoMode& mode : kUndoModes) RunUndoMode(test, mode, tokens);
}

}  // namespace qv::setup
