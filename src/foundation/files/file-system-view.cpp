#include "foundation/files/file-system-view.h"

#include <windows.h>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

ItemInfo InfoOf(const WIN32_FIND_DATAW& data) {
  ItemInfo info;
  info.attributes = data.dwFileAttributes;
  // dwReserved0 carries the reparse tag only for reparse points.
  info.reparse_tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  return info;
}

std::optional<ItemInfo> SystemFindItem(const std::filesystem::path& path) {
  const std::wstring& text = path.native();
  // A search pattern would find some other entry than the one named: besides
  // "*" and "?", the search takes "<", ">" and "\"" for wildcards too.
  size_t name_start = text.find_last_of(L"\\/");
  name_start = name_start == std::wstring::npos ? 0 : name_start + 1;
  if (text.find_first_of(L"*?<>\"", name_start) != std::wstring::npos) return std::nullopt;
  WIN32_FIND_DATAW data;
  UniqueFind search(::FindFirstFileExW(ToLongPath(text).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                       nullptr, 0));
  if (!search) return std::nullopt;
  return InfoOf(data);
}

std::optional<std::uint32_t> SystemReadAttributes(const std::filesystem::path& path) {
  DWORD attributes = ::GetFileAttributesW(ToLongPath(path.native()).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

std::error_code SystemListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::wstring pattern = folder.native();
  if (!pattern.empty() && !IsSeparator(pattern.back())) pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  UniqueFind search(::FindFirstFileExW(ToLongPath(pattern).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!search) {
    DWORD error = ::GetLastError();
    // A drive root has no "." entry: an empty one reports "file not found".
    if (error == ERROR_FILE_NOT_FOUND) {
      DWORD attributes = ::GetFileAttributesW(ToLongPath(folder.native()).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    }
    return std::error_code(static_cast<int>(error), std::system_category());
  }
  do {
    std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    entries.push_back(FolderEntry{std::wstring(name), InfoOf(data)});
  } while (::FindNextFileW(search.get(), &data));
  DWORD error = ::GetLastError();
  if (error != ERROR_NO_MORE_FILES) return std::error_code(static_cast<int>(error), std::system_category());
  return {};
}

}  // namespace

const FileSystemView& SystemView() {
  static const FileSystemView view{SystemFindItem, SystemReadAttributes, SystemListFolder};
  return view;
}

std::filesystem::path WithoutTrailingSeparators(const std::filesystem::path& path) {
  std::wstring text = path.native();
  while (!text.empty() && IsSeparator(text.back()) && HasRelativePart(text)) {
    text.pop_back();
  }
  return std::filesystem::path(text);
}

std::optional<ItemInfo> ReadItemInfo(const std::filesystem::path& path, const FileSystemView& view) {
  if (auto found = view.find_item(WithoutTrailingSeparators(path))) return found;
  if (auto attributes = view.read_attributes(path)) return ItemInfo{*attributes, 0, 0};
  return std::nullopt;
}

}  // namespace qv::setup
