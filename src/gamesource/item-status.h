#pragma once
// What the game-source code asks of the file system about the user's files and
// folders. It only reads, so links and junctions count as what they point to; a
// dangling link is an item whose status cannot be read.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

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

// True when the item itself (not followed) is a symbolic link; a junction is not.
bool IsSymbolicLink(const std::filesystem::path& path);

// One entry of a folder listing, as the listing reports the entry itself.
struct FolderEntry {
  std::filesystem::path path;  // folder joined with the entry's name
  std::wstring name;
  DWORD attributes = 0;        // of the entry itself, links not followed
  std::uint64_t size = 0;      // of the entry itself

  // The entry's status with links followed. Entries that are not reparse
  // points answer from the listing without another system call.
  std::optional<ItemStatus> Status() const;
};

// Lists the direct entries of `folder` ("." and ".." left out) in the order the
// file system returns them. `visit` returns false to stop early. A folder that
// cannot be opened gives no entries; an error while advancing ends the listing
// with what was delivered. Never raises for file-system errors.
void ListFolder(const std::filesystem::path& folder, const std::function<bool(const FolderEntry&)>& visit);

// The path without its last element and the separators before it; a root stays
// a root. A bare relative name gives the empty path (the current folder).
std::filesystem::path ParentFolder(const std::filesystem::path& path);

// The text handed to Win32 calls: the long "\\?\" form when the path is too
// long for the plain form.
std::wstring ApiPath(const std::filesystem::path& path);

}  // namespace qv::setup
