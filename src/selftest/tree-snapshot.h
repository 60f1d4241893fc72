#pragma once
// Snapshots of folder trees that tests compare with ==: every item's path
// relative to the root ('/' separators, folders ending in '/') with the bytes
// of each file, so equal snapshots mean equal names, sizes and contents.
// Neither walk enters a link or junction.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/file-system-view.h"

namespace qv::setup {

// Pairs {relative path, content}, sorted by path in byte order.
using TreeSnapshot = std::vector<std::pair<std::string, std::string>>;

// True for keys to leave out of a snapshot ("data/", "data/qv.ini").
using SnapshotFilter = std::function<bool(const std::string& key)>;

// The regular files below `root` (links to files read through), folders left
// out. Raises filesystem_error "recursive_directory_iterator::recursive_directory_iterator"
// when the root cannot be listed and "recursive_directory_iterator::operator++"
// when a folder below it cannot; "directory_entry::status" for an item whose
// status cannot be read for another reason than its absence.
TreeSnapshot SnapshotFileContents(const std::filesystem::path& root);

// Files and folders below `root`: folders as "name/" with empty content, files
// with their bytes (empty when unreadable), anything else (a dangling link)
// with empty content. A filtered folder still has its content walked.
// Never raises for file-system errors: what cannot be listed is missing.
TreeSnapshot SnapshotTree(const std::filesystem::path& root, const SnapshotFilter& filter = {},
                          const FileSystemView& view = SystemView());

}  // namespace qv::setup
