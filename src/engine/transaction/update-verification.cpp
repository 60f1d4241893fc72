#include "engine/transaction/update-verification.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "engine/journal/update-temp-folders.h"
#include "engine/records/update-log.h"
#include "engine/transaction/destination-checks.h"
#include "engine/transaction/file-moves.h"
#include "engine/transaction/transaction-failure.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/whole-file.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

// Fetches the damaged files again into the repair folder and moves them
// straight into the installation (neither backed up nor journaled: what they
// replace is damaged). A failure is logged; the second check decides.
void RepairFiles(const TransactionState& state, const std::vector<PayloadEntry>& damaged,
                 const InstallHooks& hooks) {
  RemoveStaleTemporary(state.parent, state.repair);  // an earlier run's leftovers
  CreateFolders(state.repair);
  try {
    hooks.extract_entries(state.repair, damaged);
    for (const PayloadEntry& entry : damaged) {
      const std::filesystem::path target = SafePayloadPath(state.destination, entry.name);
      CreateFolders(ParentFolder(target));
      // One replacing move, never a delete first: when the move fails, the
      // damaged file is still there rather than no file at all (an unchanged
      // file has neither a backup nor a journal step to restore it from).
      RenameWithRetry(SafePayloadPath(state.repair, entry.name), target, ExistingTarget::kReplace);
    }
  } catch (const std::exception& error) {
    AppendUpdateLog(state.destination, std::string("the repair failed: ") + error.what());
  }
  RemoveStaleTemporary(state.parent, state.repair);
}

}  // namespace

void VerifyUpdatedFiles(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks) {
  SendLogLine("Checking the installed files...");
  if (!hooks.corrupt_after_commit.empty()) {
    // Only a file of the new version: the switch must never reach the
    // player's files (a save under data/, say) or anything else.
    const bool expected = std::any_of(state.expected.begin(), state.expected.end(), [&](const PayloadEntry& entry) {
      return entry.name == hooks.corrupt_after_commit;
    });
    if (!expected) {
      throw std::runtime_error("The file to damage for the test is not a file of the new version: " +
                               hooks.corrupt_after_commit + ".");
    }
    WriteWholeFile(SafePayloadPath(state.destination, hooks.corrupt_after_commit), "damaged");
  }
  std::vector<PayloadEntry> damaged = FindDifferingFiles(state.destination, state.expected, hooks.hash_file);
  if (!damaged.empty()) {
    AppendUpdateLog(state.destination, CountOf(damaged.size(), "file differs", "files differ") +
                                           " after the update (first " + damaged.front().name + "); fetching " +
                                           (damaged.size() == 1 ? "it" : "them") + " again");
    RepairFiles(state, damaged, hooks);
    outcome.repaired = damaged.size();
    damaged = FindDifferingFiles(state.destination, state.expected, hooks.hash_file);
    if (!damaged.empty()) FailDamagedUpdate(state, damaged, hooks);
  }
  outcome.verified = state.expected.size();
}

std::string UpdateSummaryLine(const InstallOutcome& outcome, const InstallHooks& hooks, bool comparing) {
  std::string line = "update ";
  if (!outcome.previous_version.empty()) {
    line += outcome.previous_version;
    if (hooks.portable_copy) line += " (a portable copy)";
  } else {
    line += hooks.portable_copy ? "of a portable copy" : "of an older install";
  }
  line += " to " + hooks.new_version + ": " + std::to_string(outcome.replaced) + " replaced, " +
          std::to_string(outcome.added) + " added, " + std::to_string(outcome.unchanged) + " unchanged, " +
          std::to_string(outcome.removed) + " removed";
  if (comparing) line += ", all " + std::to_string(outcome.verified) + " files checked";
  if (outcome.repaired != 0) line += ", " + std::to_string(outcome.repaired) + " fetched again";
  return line;
}

void FinishUpdate(const TransactionState& state, const InstallOutcome& outcome, const InstallHooks& hooks) {
  CompleteProgress();
  AppendUpdateLog(state.destination, UpdateSummaryLine(outcome, hooks, state.comparing));
}

}  // namespace qv::setup
