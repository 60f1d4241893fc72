#include "selftest/scenario/scenario-journal.h"

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/journal/update-temp-folders.h"
#include "engine/records/existing-install.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/scenario/scenario-checks.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The commit steps at which a crash is simulated. The fixture's commit places
// three files and the manifest (steps 0 to 3), sweeps "shaders/gone.spv" (4)
// and prunes the folders it emptied (5): a crash before anything moved,
// between placements, after the last placement and after the sweep.
constexpr std::array<std::int32_t, 5> kCrashSteps{0, 1, 3, 4, 5};

// How many steps the fixture's commit journals: three staged files, the
// manifest, and the sweep of "shaders/gone.spv".
constexpr std::size_t kFixtureJournalSteps = 5;

// One case: the installation with its staging and backup folders beside it.
struct JournalCase {
  fs::path install;
  fs::path staging;
  fs::path backup;
};

JournalCase CaseIn(const fs::path& case_folder) {
  return {case_folder / L"QV", case_folder / L".qv-update-t", case_folder / L".qv-update-old-t"};
}

JournalContext ContextFor(const JournalCase& c, std::int32_t crash_at) {
  JournalContext context;
  context.journal_path = UpdateJournalPath(c.install);
  context.old_version = "1.0.3";
  context.new_version = "9.9.9";
  context.crash_at = crash_at;
  return context;
}

// Commits the fixture's staged files into the installation as read just
// before, under the journal context.
CommitResult CommitCase(const JournalCase& c, const std::vector<InstalledFile>& staged, const JournalContext& context) {
  const ExistingInstall existing = ReadExistingInstall(c.install);
  return CommitStagedFiles(c.staging, c.install, staged, {"qv-install-manifest.txt"}, existing, c.backup, -1, &context,
                           {});
}

// A crash at `step` must leave a journal behind, and recovery from it must
// put back every file as it was and leave nothing of the update.
std::string CheckCrashAt(const fs::path& folder, std::int32_t step) {
  const std::string n = std::to_string(step);
  const JournalCase c = CaseIn(folder / PathFromUtf8("crash" + n));
  const std::vector<InstalledFile> staged = BuildJournalTestInstall(c.install, c.staging);
  const TreeSnapshot before = SnapshotTree(c.install, IsUpdateLogKey);
  const JournalContext context = ContextFor(c, step);

  try {
    CommitCase(c, staged, context);
    return " journal-not-left-at-" + n;
  } catch (const SimulatedCrash&) {
    // The crash asked for: everything stays as a real crash would leave it.
  } catch (const std::exception& error) {
    return CaughtToken(" journal-swap: ", error) + " journal-not-left-at-" + n;
  }
  if (!ItemExists(context.journal_path)) return " journal-not-left-at-" + n;

  std::string tokens;
  try {
    Expect(RecoverInterruptedUpdate(c.install), " journal-not-recovered-at-" + n, tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" journal-recover-at-" + n + ": ", error);
  }
  Expect(SnapshotTree(c.install, IsUpdateLogKey) == before, " journal-restore-at-" + n, tokens);
  const bool leftovers = ItemExists(context.journal_path) || ItemExists(c.backup) || ItemExists(c.staging);
  Expect(!leftovers, " journal-leftovers-at-" + n, tokens);
  return tokens;
}

// A completed commit whose journal is marked "swapped" (all files in place,
// the new version not yet confirmed) reads back whole and rolls back exactly.
std::string CheckSwappedRollback(const fs::path& case_folder) {
  const JournalCase c = CaseIn(case_folder);
  const std::vector<InstalledFile> staged = BuildJournalTestInstall(c.install, c.staging);
  const TreeSnapshot before = SnapshotTree(c.install, IsUpdateLogKey);
  const JournalContext context = ContextFor(c, -1);

  std::string tokens;
  try {
    CommitCase(c, staged, context);
    // A write that fails shows in the read that follows.
    if (std::optional<UpdateJournal> journal = ReadUpdateJournal(context.journal_path)) {
      journal->state = kJournalSwapped;
      WriteUpdateJournal(context.journal_path, *journal);
    }
    const std::optional<UpdateJournal> journal = ReadUpdateJournal(context.journal_path);
    Expect(journal && journal->state == kJournalSwapped && journal->steps.size() == kFixtureJournalSteps,
           " journal-swapped", tokens);
    std::string message;
    if (!journal || !RollBackJournal(*journal, &message)) tokens += " journal-rollback: " + message;
    if (journal) RemoveUpdateTempFolders(*journal);
    if (const std::error_code error = RemoveItem(context.journal_path)) {
      throw fs::filesystem_error("remove", context.journal_path, error);
    }
    Expect(SnapshotTree(c.install, IsUpdateLogKey) == before, " journal-rollback-content", tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" journal-kept: ", error);
  }
  RemoveTreeOrThrow(case_folder);
  return tokens;
}

// Recovery of a "started" journal keeps the new version and only cleans up.
std::string CheckStartedFinish(const fs::path& case_folder) {
  const JournalCase c = CaseIn(case_folder);
  const std::vector<InstalledFile> staged = BuildJournalTestInstall(c.install, c.staging);
  const JournalContext context = ContextFor(c, -1);
  CommitCase(c, staged, context);
  // A write that fails leaves "swapping", which recovery rolls back: the old
  // "qv.exe" then fails the check.
  if (std::optional<UpdateJournal> journal = ReadUpdateJournal(context.journal_path)) {
    journal->state = kJournalStarted;
    WriteUpdateJournal(context.journal_path, *journal);
  }
  RecoverInterruptedUpdate(c.install);
  const bool finished =
      ReadFileText(c.install / L"qv.exe") == "new exe" && !ItemExists(c.backup) && !ItemExists(context.journal_path);
  return finished ? "" : " journal-started-finish";
}

// The reader takes a journal whose folders lie where an update puts them,
// and nothing that points elsewhere: a rollback driven by a planted or
// damaged journal could otherwise move files anywhere.
std::string CheckHandWrittenJournals(const fs::path& case_folder) {
  const fs::path install = case_folder / L"QV";
  WriteFixtureFile(install / L"qv.exe", "exe");
  const std::string i = ToGenericUtf8(NormalAbsolutePath(install));
  const std::string p = ToGenericUtf8(NormalAbsolutePath(case_folder));
  const std::string header = "qv-update-journal 1\nstate=swapping\ninstall=";

  const std::string good =
      header + i + "\nstaging=" + p + "/.qv-update-x\nbackup=" + p + "/.qv-update-old-x\nstep=r qv.exe\n";
  const std::string escaping = good + "step=r ../outside.txt\n";
  const std::string foreign_staging =
      header + i + "\nstaging=" + p + "/elsewhere\nbackup=" + p + "/.qv-update-old-x\nstep=r qv.exe\n";
  const std::string foreign_install =
      header + p + "\nstaging=" + p + "/.qv-update-x\nbackup=" + p + "/.qv-update-old-x\n";

  std::string tokens;
  Expect(JournalTextAccepted(install, good), " journal-good-refused", tokens);
  Expect(!JournalTextAccepted(install, escaping), " journal-dotdot-accepted", tokens);
  Expect(!JournalTextAccepted(install, foreign_staging), " journal-foreign-staging-accepted", tokens);
  Expect(!JournalTextAccepted(install, foreign_install), " journal-foreign-install-accepted", tokens);
  return tokens;
}

}  // namespace

std::string SelfTestJournalRecovery(const fs::path& folder) {
  std::string tokens;
  for (const std::int32_t step : kCrashSteps) tokens += CheckCrashAt(folder, step);
  tokens += CheckSwappedRollback(folder / L"kept");
  tokens += CheckStartedFinish(folder / L"kept");
  tokens += CheckHandWrittenJournals(folder / L"evil");
  // The folder is the test's alone; what cannot be removed now goes with the
  // self test's root.
  RemoveTree(folder);
  return tokens;
}

}  // namespace qv::setup
