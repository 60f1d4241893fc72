#pragma once
// The one recursive walk and the one recursive delete of folder trees that may
// hold links. Neither ever enters a symbolic link, junction or mount point: the
// walk reports such an entry and goes on beside it, the delete removes the link
// itself and never anything behind it. (std::filesystem's recursive iteration
// and remove_all descend into junctions on this toolchain: never use them on
// folders the user could have put links in.)

#include <cstdint>
#include <filesystem>
#include <functional>
#include <system_error>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

struct TreeEntry {
  std::filesystem::path path;      // the walked root joined with `relative`
  std::filesystem::path relative;  // relative to the walked root, native separators
  ItemInfo info;                   // as the folder listing reports it, links not followed
  int depth = 0;                   // 0 for the root's own entries
};

enum class WalkStep {
  kContinue,    // go on; a folder entry is entered when WalkEntersFolder allows
  kSkipFolder,  // go on, but do not enter this folder entry
  kStop,        // end the walk
};

using TreeVisitor = std::function<WalkStep(const TreeEntry& entry)>;

// Whether the walk enters a folder entry: a plain folder, or a folder whose
// reparse tag is known and is not a name surrogate (cloud-file placeholders
// and other storage-level reparse points keep their content in place). Links,
// junctions, mount points and reparse points of unknown tag are never entered.
bool WalkEntersFolder(const ItemInfo& info);

// Visits every entry below `root` (not the root itself), depth first in listing
// order, each folder's entry before its content. A subfolder that cannot be
// listed is passed over and the walk goes on. Returns the first listing error
// met (the root's when it cannot be listed at all), or no error.
std::error_code WalkTree(const std::filesystem::path& root, const TreeVisitor& visit,
                         const FileSystemView& view = SystemView());

// Removes the item `path` names: a file; a link or junction as itself (its
// target untouched); a folder with everything below it, links inside removed as
// links. Read-only files are removed too. A missing item counts as removed.
// Goes on past items it cannot remove and returns the first error, or no error
// when nothing is left.
std::error_code RemoveTree(const std::filesystem::path& path, const FileSystemView& view = SystemView());

// RemoveTree for callers that fail when anything is left: raises
// std::filesystem::filesystem_error "remove_all" with the path and the first
// error.
void RemoveTreeOrThrow(const std::filesystem::path& path, const FileSystemView& view = SystemView());

// Removes one item only: a file, a link or junction as itself, or an empty
// folder (a folder with content gives ERROR_DIR_NOT_EMPTY). Missing counts as
// removed.
std::error_code RemoveItem(const std::filesystem::path& path, const FileSystemView& view = SystemView());

}  // namespace qv::setup
