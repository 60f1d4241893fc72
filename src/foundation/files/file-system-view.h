#pragma once
// How the link tests, the tree walk and the tree delete see the file system:
// the attributes and reparse tag of an item itself, never following a link.
// std::filesystem cannot tell links or junctions apart on this toolchain, so
// these come from the Win32 calls directly. The view is a record of callables so
// that tests can present chosen folders as links or junctions (Wine cannot
// create either); production code always uses SystemView().

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace qv::setup {

inline constexpr std::uint32_t kAttributeDirectory = 0x10;      // FILE_ATTRIBUTE_DIRECTORY
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;     // IO_REPARSE_TAG_SYMLINK
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT (junction)

// A reparse tag that stands for another name (symbolic links, junctions, mount
// points), as opposed to storage-level ones such as cloud-file placeholders.
inline bool IsNameSurrogateTag(std::uint32_t tag) { return (tag & 0x20000000u) != 0; }

// One item as the system reports it, links not followed.
struct ItemInfo {
  std::uint32_t attributes = 0;
  // The reparse tag when the attributes carry kAttributeReparsePoint and the
  // source reports it (a directory search does, an attribute read does not: 0).
  std::uint32_t reparse_tag = 0;
  std::uint64_t size = 0;  // of a file; 0 for folders

  bool IsFolder() const { return (attributes & kAttributeDirectory) != 0; }
  bool IsReparsePoint() const { return (attributes & kAttributeReparsePoint) != 0; }
  bool IsSymbolicLink() const { return IsReparsePoint() && reparse_tag == kReparseTagSymlink; }
  bool IsJunction() const { return IsReparsePoint() && reparse_tag == kReparseTagMountPoint; }
};

struct FolderEntry {
  std::wstring name;  // as listed, never "." or ".."
  ItemInfo info;
};

struct FileSystemView {
  // A directory search for exactly this name (FindFirstFileExW): the entry's
  // attributes and reparse tag; nothing when the search fails (roots, missing
  // items, names the search cannot list). Names with wildcards find nothing.
  std::function<std::optional<ItemInfo>(const std::filesystem::path&)> find_item;
  // GetFileAttributesW of the text as given; nothing when it fails.
  std::function<std::optional<std::uint32_t>(const std::filesystem::path&)> read_attributes;
  // The entries of one folder in listing order; an error when it cannot be listed.
  std::function<std::error_code(const std::filesystem::path& folder, std::vector<FolderEntry>& entries)> list_folder;
};

// The view through the real Win32 calls (long paths handled).
const FileSystemView& SystemView();

// The item a path names, links not followed: trailing separators are dropped
// (a bare root keeps its own), then a directory search for that name, and when
// the search cannot find it (a root), the attributes of the path as given with
// an unknown tag. Nothing when neither can be read.
std::optional<ItemInfo> ReadItemInfo(const std::filesystem::path& path, const FileSystemView& view = SystemView());


// The path without trailing separators, unless it is a bare root.
std::filesystem::path WithoutTrailingSeparators(const std::filesystem::path& path);

}  // namespace qv::setup
