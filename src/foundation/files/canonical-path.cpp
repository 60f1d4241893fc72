#include "foundation/files/canonical-path.h"

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The longest path the system hands out, in characters, with its terminator.
constexpr size_t kLongestPath = 32768;

// Errors by which opening a leading part says "nothing usable here": the part
// does not exist, a file stands where a folder would be, the drive or share is
// absent or not ready, or the item refuses to be opened. Such a part is
// treated as not existing and is appended lexically.
bool IsUnresolvableError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME:
    case ERROR_INVALID_FUNCTION:
    // Wine cannot name items whose path is longer than MAX_PATH; a shorter
    // leading part resolves and the rest is kept as written.
    case ERROR_MORE_DATA:
    case ERROR_INSUFFICIENT_BUFFER:
      return true;
    default:
      return false;
  }
}

std::wstring StripLongPrefix(std::wstring text) {
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + text.substr(8);
  if (text.rfind(L"\\\\?\\", 0) == 0) return text.substr(4);
  return text;
}

// The final path name of an existing item, or an empty text with `code` set
// when the item cannot be opened or named.
std::wstring FinalPathName(const fs::path& path, DWORD& code) {
  code = 0;
  std::wstring text = ToLongPath(path.native());
  // No access rights are needed to name an item; backup semantics opens folders too.
  UniqueFile handle(::CreateFileW(text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    code = ::GetLastError();
    return {};
  }
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD length = ::GetFinalPathNameByHandleW(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
      code = ::GetLastError();
      if ((code == ERROR_MORE_DATA || code == ERROR_INSUFFICIENT_BUFFER) && buffer.size() < kLongestPath) {
        // Wine reports a short buffer this way instead of returning the size.
        buffer.assign(kLongestPath, L'\0');
        continue;
      }
      if (code == 0) code = ERROR_INVALID_FUNCTION;
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return StripLongPrefix(std::move(buffer));
    }
    buffer.assign(length + 1, L'\0');
  }
  code = ERROR_INSUFFICIENT_BUFFER;
  return {};
}

}  // namespace

fs::path WeaklyCanonicalPath(const fs::path& path, std::error_code& error) {
  error.clear();
  fs::path absolute;
  try {
    absolute = NormalAbsolutePath(path);
  } catch (const fs::filesystem_error& failure) {
    error = failure.code();
    return {};
  }
  if (absolute.empty()) return absolute;

  std::vector<fs::path> elements;
  for (const fs::path& element : absolute.relative_path()) {
    if (!element.empty()) elements.push_back(element);
  }
  // Longest existing leading part first: the whole path usually exists.
  for (size_t kept = elements.size() + 1; kept-- > 0;) {
    fs::path prefix = absolute.root_path();
    for (size_t i = 0; i < kept; ++i) prefix /= elements[i];
    DWORD code = 0;
    std::wstring resolved = FinalPathName(prefix, code);
    if (resolved.empty()) {
      if (IsUnresolvableError(code)) continue;
      error = std::error_code(static_cast<int>(code), std::system_category());
      return {};
    }
    fs::path result(resolved);
    for (size_t i = kept; i < elements.size(); ++i) result /= elements[i];
    return result;
  }
  return absolute;  // not even the root could be opened: the lexical form is all there is
}

fs::path WeaklyCanonicalPath(const fs::path& path) {
  std::error_code error;
  fs::path result = WeaklyCanonicalPath(path, error);
  if (error) throw fs::filesystem_error("weakly_canonical", path, error);
  return result;
}

}  // namespace qv::setup
