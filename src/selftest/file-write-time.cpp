#include "selftest/file-write-time.h"

#include <windows.h>

#include <system_error>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

[[noreturn]] void ThrowLastError(const char* operation, const std::filesystem::path& file) {
  const std::error_code error(static_cast<int>(::GetLastError()), std::system_category());
  throw std::filesystem::filesystem_error(operation, file, error);
}

UniqueFile OpenForAttributes(const std::filesystem::path& file, DWORD access) {
  return UniqueFile(::CreateFileW(ApiPath(file).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::uint64_t ReadLastWriteTime(const std::filesystem::path& file) {
  UniqueFile handle = OpenForAttributes(file, FILE_READ_ATTRIBUTES);
  FILETIME written{};
  if (!handle || !::GetFileTime(handle.get(), nullptr, nullptr, &written)) ThrowLastError("GetFileTime", file);
  return (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

std::uint64_t BackdateFile(const std::filesystem::path& file) {
  {
    UniqueFile handle = OpenForAttributes(file, FILE_WRITE_ATTRIBUTES);
    FILETIME past{static_cast<DWORD>(kLongPastWriteTime & 0xFFFFFFFFu), static_cast<DWORD>(kLongPastWriteTime >> 32)};
    if (!handle || !::SetFileTime(handle.get(), nullptr, nullptr, &past)) ThrowLastError("SetFileTime", file);
  }
  return ReadLastWriteTime(file);
}

}  // namespace qv::setup
