#pragma once
// What an item is once links are followed: the view of code that only reads
// (game sources, records, checks of what a path leads to). Links and junctions
// count as what they point to; a dangling link is an item whose status cannot
// be read.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

struct ItemStatus {
  bool directory = false;
  std::uint64_t size = 0;  // 0 for folders
};

// The status of the item a path names, links followed; nullopt when it cannot
// be read (missing, dangling link, no access, invalid name).
std::optional<ItemStatus> ReadItemStatus(const std::filesystem::path& path);

// True when the item's status can be read and it is not a folder.
bool IsRegularFile(const std::filesystem::path& path);
// True when the item's status can be read and it is a folder.
bool IsFolder(const std::filesystem::path& path);

// The direct entries of `folder` in listing order. A folder that cannot be
// listed gives none; an error while advancing keeps what was listed before it.
std::vector<FolderEntry> ListEntries(const std::filesystem::path& folder, const FileSystemView& view = SystemView());

// The status of a listed entry with links followed. Entries that are not
// reparse points answer from the listing without another system call.
std::optional<ItemStatus> EntryStatus(const std::filesystem::path& folder, const FolderEntry& entry);

// The path without its last element and the separators before it; a root stays
// a root. A bare relative name gives the empty path (the current folder).
std::filesystem::path ParentFolder(const std::filesystem::path& path);

}  // namespace qv::setup
