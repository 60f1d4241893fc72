#pragma once
// Removal of the temporary folders an install or update leaves beside an
// installation. Only items directly beside the installation whose names carry
// the install or update prefixes are ever deleted, never through a symbolic
// link.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/journal/update-journal.h"
#include "foundation/files/file-system-view.h"

namespace qv::setup {

// A file held open in a temporary folder is retried for about three seconds.
inline constexpr int kTempFolderRemovalAttempts = 30;
inline constexpr std::chrono::milliseconds kTempFolderRetryPause{100};

// Deletes the journal's staging, backup and download folders with everything
// in them (links inside removed as links), each only when IsUpdateTempFolder
// holds for it with its own prefix and it is not itself a symbolic link (a
// junction is removed as itself). Up to 30 attempts `pause` apart while the
// folder still exists. Best effort: reports nothing.
void RemoveUpdateTempFolders(const UpdateJournal& journal, std::chrono::milliseconds pause = kTempFolderRetryPause,
                             const FileSystemView& view = SystemView());

// True when the folder holds a file somewhere below it; a link to a file
// counts as a file, while links to folders and junctions are neither entered
// nor counted. A folder that cannot be opened holds none.
bool FolderHoldsFiles(const std::filesystem::path& folder, const FileSystemView& view = SystemView());

// The clean-up after a rollback from `journal`: first the backup's files whose
// place is empty come back (PutBackFromBackup, named in the update log), then
// RemoveUpdateTempFolders, unless the backup folder still holds a file. Then the journal named fewer steps
// than the update made (a journal cut short by damaged storage can still read
// as a shorter sound one), and the backup holds the only copies of old files:
// the backup and the staging folder both stay, the update log names the kept
// backup, and the result is false with `message` (when given) saying so. The
// caller then keeps the journal too. True when the folders were removed.
bool RemoveFoldersAfterRollback(const UpdateJournal& journal, std::string* message = nullptr,
                                std::chrono::milliseconds pause = kTempFolderRetryPause,
                                const FileSystemView& view = SystemView());

// Removes the temporary folders that killed runs left beside `installation`:
// update staging folders (".qv-update-" and a run identifier), download
// folders (".qv-update-dl-"), repair folders (".qv-update-fix-") and install
// staging folders (".qv-install-", a whole unpacked game); a partial setup
// file alone can be hundreds of megabytes. Only folders of exactly that form
// (the identifier a GUID, braced or not) are removed, never a link or
// junction, never the folders of `current_run_id` or of another live run
// (IsRunMarked), and nothing while a journal lies in the installation (it may
// name them). The caller holds the installation's guard. Backup folders are never touched: without their
// journal they may hold the only copy of an old file.
void RemoveAbandonedUpdateFolders(const std::filesystem::path& installation, std::string_view current_run_id,
                                  const FileSystemView& view = SystemView());

// Deletes one leftover temporary item directly inside `parent` whose name
// begins with ".qv-install-" or ".qv-update-" (the prefix alone counts too):
// a file, or a folder with everything in it. A symbolic link, an item
// elsewhere or of another name is left alone. One attempt; errors ignored.
void RemoveStaleTemporary(const std::filesystem::path& parent, const std::filesystem::path& item,
                          const FileSystemView& view = SystemView());

}  // namespace qv::setup
