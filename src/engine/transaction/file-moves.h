#pragma once
// The file moves an update is built from. A move never copies and deletes by
// hand and never overwrites a file that has no other copy: every file the
// update takes out of the installation goes into its backup folder first.

#include <chrono>
#include <filesystem>
#include <string>

#include "foundation/files/file-system-view.h"
#include "foundation/files/rename-item.h"

namespace qv::setup {

// A file held open by a scanner or the game's last seconds is retried for
// about three seconds: 31 attempts, 30 pauses.
inline constexpr int kRenameAttempts = 31;
inline constexpr std::chrono::milliseconds kRenameRetryPause{100};

// Renames `from` to `to`, up to 31 attempts `pause` apart. Gives up at once
// when the source can no longer be examined (it vanished), and, with
// kRefuse, when something is at the target (waiting will not move it away).
// Raises filesystem_error "rename" with both paths and the last attempt's
// system error.
void RenameWithRetry(const std::filesystem::path& from, const std::filesystem::path& to,
                     ExistingTarget existing = ExistingTarget::kReplace,
                     std::chrono::milliseconds pause = kRenameRetryPause);

// Moves root-relative `relative` (UTF-8, '/' or '\') from `from_root` to the
// same place under `to_root`, creating the destination's parent folders
// (filesystem_error "create_directories"). Never replaces anything at the
// destination: a backup that is already there stays the backup. Raises
// "Unsafe payload path." for a path that could leave either root.
void MoveStagedFile(const std::filesystem::path& from_root, const std::filesystem::path& to_root,
                    const std::string& relative);

// Removes the folders of root-relative `relative` (a file's path) that are
// empty, deepest first, up to but never including `root`. Stops at a folder
// of the player (IsPreservedUserPath), a symbolic link, a folder with content
// or one that cannot be removed. Never raises for file-system errors.
void PruneEmptyParents(const std::filesystem::path& root, const std::string& relative,
                       const FileSystemView& view = SystemView());

}  // namespace qv::setup
