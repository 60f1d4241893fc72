#include "foundation/files/whole-copy.h"

#include <windows.h>

#include "foundation/files/file-system-view.h"
#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

std::error_code SystemError(DWORD code) { return std::error_code(static_cast<int>(code), std::system_category()); }

// The last error, or `fallback` when a copier that is no system call left none.
std::error_code LastErrorOr(DWORD fallback) {
  const DWORD code = ::GetLastError();
  return SystemError(code != ERROR_SUCCESS ? code : fallback);
}

}  // namespace

std::filesystem::path TemporaryCopyPath(const std::filesystem::path& target) {
  std::filesystem::path temporary = target;
  temporary += L".qv-tmp";
  return temporary;
}

void RemoveUnfinishedCopy(const std::filesystem::path& target) {
  const std::filesystem::path temporary = TemporaryCopyPath(target);
  const std::optional<ItemInfo> info = ReadItemInfo(temporary);
  if (info && !info->IsFolder()) ::DeleteFileW(ApiPath(temporary).c_str());
}

std::error_code FlushFileToDisk(const std::filesystem::path& file) {
  const std::wstring name = ApiPath(file);
  // Flushing needs write access, which a read-only file refuses: its
  // attribute is lifted for the flush (a copy keeps its source's attributes).
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (read_only) ::SetFileAttributesW(name.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  std::error_code error;
  {
    // The data is the file's, whichever handle wrote it.
    UniqueFile handle(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || !::FlushFileBuffers(handle.get())) error = LastErrorOr(ERROR_WRITE_FAULT);
  }
  if (read_only) ::SetFileAttributesW(name.c_str(), attributes);
  return error;
}

std::error_code CopyIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                              ExistingTarget existing, const FileCopier& copy) {
  const std::filesystem::path temporary = TemporaryCopyPath(to);
  RemoveUnfinishedCopy(to);
  // Refused before the copy: a large file is not copied only to be thrown away.
  if (existing == ExistingTarget::kRefuse && ReadItemInfo(to)) return SystemError(ERROR_ALREADY_EXISTS);

  ::SetLastError(ERROR_SUCCESS);
  const bool copied =
      copy ? copy(from, temporary) : ::CopyFileW(ApiPath(from).c_str(), ApiPath(temporary).c_str(), TRUE) != 0;
  std::error_code error = copied ? FlushFileToDisk(temporary) : LastErrorOr(ERROR_WRITE_FAULT);
  if (!error) {
    // Both names lie in one folder: the rename moves no data.
    const DWORD flags = existing == ExistingTarget::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!::MoveFileExW(ApiPath(temporary).c_str(), ApiPath(to).c_str(), flags)) error = LastErrorOr(ERROR_WRITE_FAULT);
  }
  if (error) RemoveUnfinishedCopy(to);
  return error;
}

}  // namespace qv::setup
