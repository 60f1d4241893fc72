#include "foundation/files/tree-walk.h"

#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "foundation/files/paths.h"

namespace qv::setup {
namespace {

std::error_code SystemError(DWORD code) { return std::error_code(static_cast<int>(code), std::system_category()); }

// Deletes one known item. A folder-like item (a folder, a folder link, a
// junction) goes through RemoveDirectoryW, which removes a link itself and
// refuses a folder with content; everything else through DeleteFileW, which
// removes a file link itself. A read-only item loses that attribute and is tried
// once more.
std::error_code DeleteKnownItem(const std::filesystem::path& path, const ItemInfo& info) {
  const std::wstring name = ToLongPath(path.native());
  auto remove = [&] {
    return info.IsFolder() ? ::RemoveDirectoryW(name.c_str()) : ::DeleteFileW(name.c_str());
  };
  if (remove()) return {};
  DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  if (error == ERROR_ACCESS_DENIED && (info.attributes & FILE_ATTRIBUTE_READONLY) &&
      ::SetFileAttributesW(name.c_str(), info.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
    if (remove()) return {};
    error = ::GetLastError();
  }
  return SystemError(error);
}

// The item itself; nothing and no error when it does not exist.
std::optional<ItemInfo> ReadExistingItem(const std::filesystem::path& path, const FileSystemView& view,
                                         std::error_code& error) {
  error.clear();
  auto info = ReadItemInfo(path, view);
  if (!info) {
    DWORD code = ::GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND && code != ERROR_SUCCESS) {
      error = SystemError(code);
    }
  }
  return info;
}

}  // namespace

bool WalkEntersFolder(const ItemInfo& info) {
  if (!info.IsFolder()) return false;
  if (!info.IsReparsePoint()) return true;
  return info.reparse_tag != 0 && !IsNameSurrogateTag(info.reparse_tag);
}

std::error_code WalkTree(const std::filesystem::path& root, const TreeVisitor& visit, const FileSystemView& view) {
  struct Frame {
    std::filesystem::path folder;
    std::filesystem::path relative;
    std::vector<FolderEntry> entries;
    size_t next = 0;
    int depth = 0;
  };
  std::vector<Frame> stack(1);
  stack[0].folder = root;
  std::error_code first_error = view.list_folder(root, stack[0].entries);
  if (first_error) return first_error;

  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.entries.size()) {
      stack.pop_back();
      continue;
    }
    const FolderEntry& listed = frame.entries[frame.next++];
    TreeEntry entry;
    entry.path = frame.folder / listed.name;
    entry.relative = frame.relative.empty() ? std::filesystem::path(listed.name) : frame.relative / listed.name;
    entry.info = listed.info;
    entry.depth = frame.depth;
    const int child_depth = frame.depth + 1;

    WalkStep step = visit(entry);
    if (step == WalkStep::kStop) break;
    if (step != WalkStep::kContinue || !WalkEntersFolder(entry.info)) continue;

    Frame child;
    child.folder = std::move(entry.path);
    child.relative = std::move(entry.relative);
    child.depth = child_depth;
    if (std::error_code error = view.list_folder(child.folder, child.entries)) {
      if (!first_error) first_error = error;
      continue;
    }
    stack.push_back(std::move(child));  // `frame` is not used past this point
  }
  return first_error;
}

std::error_code RemoveItem(const std::filesystem::path& path, const FileSystemView& view) {
  std::error_code error;
  auto info = ReadExistingItem(path, view, error);
  if (!info) return error;
  return DeleteKnownItem(path, *info);
}

std::error_code RemoveTree(const std::filesystem::path& path, const FileSystemView& view) {
  std::error_code error;
  auto info = ReadExistingItem(path, view, error);
  if (!info) return error;
  if (!WalkEntersFolder(*info)) return DeleteKnownItem(path, *info);

  std::error_code first_error;
  auto note = [&](std::error_code e) {
    if (e && !first_error) first_error = e;
  };
  // Files and links go as they are met; folders are collected in walk order,
  // so in reverse every folder comes after everything inside it.
  std::vector<std::pair<std::filesystem::path, ItemInfo>> folders;
  note(WalkTree(
      path,
      [&](const TreeEntry& entry) {
        if (WalkEntersFolder(entry.info)) {
          folders.emplace_back(entry.path, entry.info);
        } else {
          note(DeleteKnownItem(entry.path, entry.info));
        }
        return WalkStep::kContinue;
      },
      view));
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) note(DeleteKnownItem(it->first, it->second));
  note(DeleteKnownItem(path, *info));
  return first_error;
}

void RemoveTreeOrThrow(const std::filesystem::path& path, const FileSystemView& view) {
  if (const std::error_code error = RemoveTree(path, view)) throw std::filesystem::filesystem_error("remove_all", path, error);
}

}  // namespace qv::setup
