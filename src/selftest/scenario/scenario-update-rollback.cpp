// The commit forced to fail part-way: before anything moved (step 0), after
// two new files are in place (step 2), and after all four are in place and the
// sweep has removed one old file (step 5). Its undo must leave the
// installation exactly as it was and put the new files back into staging.

#include <array>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/fixtures/update-test-trees.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-update-sections.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::array<int, 3> kFailureSteps{0, 2, 5};

std::string CheckRollbackAt(const fs::path& folder, int step, const std::string& texture_archive) {
  const std::string n = std::to_string(step);
  const UpdateTestFolders f = UpdateTestFoldersIn(folder / PathFromUtf8("rollback" + n));
  BuildOlderInstallFixture(f.install, true, texture_archive);
  const TreeSnapshot before = SnapshotFileContents(f.install);
  const std::vector<InstalledFile> staged = BuildNewReleaseFixture(f.staging);

  // Only the forced failure counts: a commit that refused at its guards for
  // another reason never touched the tree, so its intact tree proves nothing
  // about the undo.
  const std::string rollback_token = " rollback at step " + n;
  std::string tokens = RefusalFailure(
      [&] {
        const ExistingInstall existing = ReadExistingInstall(f.install);
        CommitStagedFiles(f.staging, f.install, staged, {"qv-install-manifest.txt"}, existing, f.backup, step,
                          nullptr, {});
      },
      "Test failure during the update.", RefusalText::kWhole, rollback_token);
  const TreeSnapshot after = SnapshotFileContents(f.install);
  if (tokens.empty() && after != before) tokens = rollback_token;

  if (ReadFileText(f.staging / L"qv.exe") != "new exe") tokens += " staging restored at step " + n;
  return tokens;
}

}  // namespace

std::string CheckCommitRollbacks(const fs::path& folder, const std::string& texture_archive) {
  std::string tokens;
  for (const int step : kFailureSteps) tokens += CheckRollbackAt(folder, step, texture_archive);
  return tokens;
}

}  // namespace qv::setup
