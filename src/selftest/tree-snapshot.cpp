#include "selftest/tree-snapshot.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <system_error>

#include "foundation/item-status.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/tree-walk.h"
#include "selftest/fixture-files.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The status of a walked item with links followed: what the listing says for
// a plain item, the target's status for a link (nothing when it dangles).
std::optional<ItemStatus> FollowedStatus(const TreeEntry& entry) {
  if (!entry.info.IsReparsePoint()) return ItemStatus{entry.info.IsFolder(), entry.info.size};
  return ReadItemStatus(entry.path);
}

std::string LenientGenericKey(const fs::path& relative) {
  std::string key = WideToUtf8(relative.native());
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

}  // namespace

TreeSnapshot SnapshotFileContents(const fs::path& root) {
  TreeSnapshot snapshot;
  bool visited = false;
  std::error_code status_error;
  fs::path status_path;
  std::error_code error = WalkTree(root, [&](const TreeEntry& entry) {
    visited = true;
    std::optional<ItemStatus> status = FollowedStatus(entry);
    if (!status) {
      DWORD code = ::GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return WalkStep::kContinue;
      status_error =
          std::error_code(static_cast<int>(code ? code : ERROR_CANT_RESOLVE_FILENAME), std::system_category());
      status_path = entry.path;
      return WalkStep::kStop;
    }
    if (!status->directory) snapshot.emplace_back(ToGenericUtf8(entry.relative), ReadFileText(entry.path));
    return WalkStep::kContinue;
  });
  if (status_error) throw fs::filesystem_error("directory_entry::status", status_path, status_error);
  if (error) {
    throw fs::filesystem_error(visited ? "recursive_directory_iterator::operator++"
                                       : "recursive_directory_iterator::recursive_directory_iterator",
                               root, error);
  }
  std::sort(snapshot.begin(), snapshot.end());
  return snapshot;
}

TreeSnapshot SnapshotTree(const fs::path& root, const SnapshotFilter& filter, const FileSystemView& view) {
  TreeSnapshot snapshot;
  WalkTree(
      root,
      [&](const TreeEntry& entry) {
        std::optional<ItemStatus> status = FollowedStatus(entry);
        std::string key = LenientGenericKey(entry.relative);
        const bool folder = status ? status->directory : entry.info.IsFolder();
        if (folder) key += '/';
        if (filter && filter(key)) return WalkStep::kContinue;
        std::string content;
        if (status && !folder) content = ReadFileText(entry.path);
        snapshot.emplace_back(std::move(key), std::move(content));
        return WalkStep::kContinue;
      },
      view);
  std::sort(snapshot.begin(), snapshot.end());
  return snapshot;
}

}  // namespace qv::setup
