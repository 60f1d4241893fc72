#include "engine/transaction/transaction-failure.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <system_error>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-temp-folders.h"
#include "engine/records/update-log.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

constexpr const char* kRestoredAtNextStart = "The next start of the game or the setup restores the previous version.";

// `path` with `folder`'s leading elements replaced by `replacement`; nothing
// when it does not lie below `folder`.
std::optional<std::filesystem::path> Rebased(const std::filesystem::path& path, const std::filesystem::path& folder,
                                             const std::filesystem::path& replacement) {
  auto at = path.begin();
  for (auto part = folder.begin(); part != folder.end(); ++part, ++at) {
    if (at == path.end() || *at != *part) return std::nullopt;
  }
  if (at == path.end()) return std::nullopt;
  std::filesystem::path rebased = replacement;
  for (; at != path.end(); ++at) rebased /= *at;
  return rebased;
}

// The installed file a commit error is about: its staged copy and its backup
// stand for it.
std::filesystem::path InstalledPathOf(const std::filesystem::path& path, const TransactionState& state) {
  if (path.empty()) return state.destination;
  for (const std::filesystem::path* folder : {&state.staging, &state.backup}) {
    if (std::optional<std::filesystem::path> installed = Rebased(path, *folder, state.destination)) {
      return *installed;
    }
  }
  return path;
}

void CleanUpAfterFailure(const TransactionState& state) {
  if (!FolderHoldsFiles(state.backup)) {
    RemoveStaleTemporary(state.parent, state.staging);
    RemoveStaleTemporary(state.parent, state.backup);
  }
  // No recovery ever needs a repair folder.
  RemoveStaleTemporary(state.parent, state.repair);
}

}  // namespace

void RunWithCleanUpGuard(const TransactionState& state, const std::function<void()>& body) {
  try {
    body();
  } catch (...) {
    CleanUpAfterFailure(state);
    throw;
  }
}

std::string CommitFailureText(const std::filesystem::filesystem_error& error, const TransactionState& state) {
  const bool undone = !ReadItemInfo(state.journal_path);
  return "Could not replace " + ToGenericUtf8Lenient(InstalledPathOf(error.path1(), state)) +
         ": it is in use (is Q.V. still running?). Close it and try again. " +
         (undone ? "Nothing was changed." : kRestoredAtNextStart);
}

bool RollBackCommittedUpdate(const TransactionState& state, std::string& message) {
  message.clear();
  const std::optional<UpdateJournal> journal = ReadUpdateJournal(state.journal_path);
  if (!journal || !RollBackJournal(*journal, &message)) return false;
  if (!RemoveFoldersAfterRollback(*journal, &message)) return false;
  ::DeleteFileW(ApiPath(state.journal_path).c_str());  // a rolled-back journal left behind undoes nothing more
  return true;
}

void FailDamagedUpdate(const TransactionState& state, const std::vector<PayloadEntry>& damaged,
                       const InstallHooks& hooks) {
  const std::string& first = damaged.front().name;
  std::string message;
  const bool restored = RollBackCommittedUpdate(state, message);
  AppendUpdateLog(state.destination, "update to " + hooks.new_version + " failed its check: " +
                                         CountOf(damaged.size(), "file differs", "files differ") + " (first " +
                                         first + ")" +
                                         (restored ? "; the old version was restored"
                                                   : "; it could not be undone: " + message));
  throw UpdateCheckFailed(CountOf(damaged.size(), "file", "files") +
                          " of the new version did not install correctly (first: " + first + "). " +
                          (restored ? "The previous version was restored." : kRestoredAtNextStart));
}

void RunAfterCommit(const TransactionState& state, const InstallHooks& hooks, const std::function<void()>& body) {
  try {
    body();
  } catch (const UpdateCheckFailed&) {
    throw;  // already undone as far as possible
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    std::string reason = "an unknown error";
    bool standard = false;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      reason = error.what();
      standard = true;
    } catch (...) {
    }
    std::string message;
    const bool restored = RollBackCommittedUpdate(state, message);
    AppendUpdateLog(state.destination, "update to " + hooks.new_version + " failed: " + reason +
                                           (restored ? "; the old version was restored"
                                                     : "; it could not be undone: " + message));
    if (restored || !standard) std::rethrow_exception(failure);
    throw std::runtime_error(reason + " " + kRestoredAtNextStart);
  }
}

}  // namespace qv::setup
