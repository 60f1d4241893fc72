#include "foundation/files/item-status.h"

#include <windows.h>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

std::uint64_t JoinSize(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// Opening the item resolves every link on the way, so the handle's information
// describes the final target.
std::optional<ItemStatus> StatusThroughHandle(const std::wstring& api_path) {
  UniqueFile handle(::CreateFileW(api_path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  ItemStatus status;
  status.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.size = status.directory ? 0 : JoinSize(info.nFileSizeHigh, info.nFileSizeLow);
  return status;
}

}  // namespace

std::optional<ItemStatus> ReadItemStatus(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  std::wstring api_path = ApiPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(api_path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return StatusThroughHandle(api_path);
  ItemStatus status;
  status.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.size = status.directory ? 0 : JoinSize(data.nFileSizeHigh, data.nFileSizeLow);
  return status;
}

bool IsRegularFile(const std::filesystem::path& path) {
  auto status = ReadItemStatus(path);
  return status && !status->directory;
}

bool IsFolder(const std::filesystem::path& path) {
  auto status = ReadItemStatus(path);
  return status && status->directory;
}

std::vector<FolderEntry> ListEntries(const std::filesystem::path& folder, const FileSystemView& view) {
  std::vector<FolderEntry> entries;
  view.list_folder(folder, entries);  // on an error, what was listed before it stays
  return entries;
}

std::optional<ItemStatus> EntryStatus(const std::filesystem::path& folder, const FolderEntry& entry) {
  if (entry.info.IsReparsePoint()) return StatusThroughHandle(ApiPath(folder / entry.name));
  return ItemStatus{entry.info.IsFolder(), entry.info.IsFolder() ? 0 : entry.info.size};
}

std::filesystem::path ParentFolder(const std::filesystem::path& path) {
  // parent_path keeps "C:\" for "C:\file" and drops the separators before the
  // last element otherwise; the path itself is returned for a bare root.
  if (path.has_relative_path()) return path.parent_path();
  return path;
}

}  // namespace qv::setup
