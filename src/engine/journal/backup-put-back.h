#pragma once
// The old files a backup folder still holds when no sound journal says what
// to do with them (a journal refused, or one cut short that names fewer
// steps than its update made): each comes back where nothing is in its
// place, and every other one stays where it is, for the update log to name.

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

struct BackupPutBack {
  std::vector<std::string> put_back;  // relative paths moved back into the installation, sorted
  std::vector<std::string> kept;      // relative paths still in the backup folder, sorted
};

// Moves every file of `backup` (an update backup folder beside
// `installation`) back to the same relative place in the installation when
// nothing is there, its name is one an update may have moved out
// (IsJournalStep for 'r', stored as named) and the move succeeds; never over
// anything. Links are neither followed nor moved (kept). Folders the moves
// emptied stay. Never raises for file-system errors.
BackupPutBack PutBackFromBackup(const std::filesystem::path& installation, const std::filesystem::path& backup,
                                const FileSystemView& view = SystemView());

// "a, b, c".
std::string JoinedPaths(const std::vector<std::string>& paths);

}  // namespace qv::setup
