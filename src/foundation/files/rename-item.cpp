#include "foundation/files/rename-item.h"

#include <windows.h>

#include "foundation/files/paths.h"

namespace qv::setup {

std::error_code RenameItem(const std::filesystem::path& from, const std::filesystem::path& to,
                           ExistingTarget existing) {
  DWORD flags = MOVEFILE_COPY_ALLOWED;
  if (existing == ExistingTarget::kReplace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (::MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(), flags)) return {};
  return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

bool IsTargetExistsError(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_ALREADY_EXISTS || error.value() == ERROR_FILE_EXISTS);
}

}  // namespace qv::setup
