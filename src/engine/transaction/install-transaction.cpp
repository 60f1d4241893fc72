#include "engine/transaction/install-transaction.h"

#include "engine/transaction/staging-build.h"
#include "engine/transaction/transaction-commit.h"
#include "engine/transaction/transaction-failure.h"
#include "engine/transaction/transaction-preparation.h"
#include "engine/transaction/update-verification.h"

namespace qv::setup {

void RunInstallTransaction(InstallOutcome& outcome, const std::filesystem::path& source,
                           std::filesystem::path destination, bool create_shortcut, const InstallHooks& hooks,
                           const TransactionQueries& queries) {
  TransactionState state = PrepareTransaction(outcome, source, destination, create_shortcut, hooks, queries);
  RunWithCleanUpGuard(state, [&] {
    BuildStagingFolder(state, outcome, source, create_shortcut, hooks);
    if (!state.existing.is_install) {
      CommitFreshInstall(state, outcome, create_shortcut, hooks);
      return;
    }
    CommitUpdate(state, outcome, hooks);
    RunAfterCommit(state, hooks, [&] {
      if (state.comparing) VerifyUpdatedFiles(state, outcome, hooks);
      FinishUpdate(state, outcome, hooks);
    });
    CloseUpdate(state, outcome, create_shortcut, hooks);
  });
}

}  // namespace qv::setup
