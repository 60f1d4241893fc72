#pragma once
// The one platform rename of files and folders (MoveFileExW), where the
// system's error code matters: std::filesystem::rename may lose it.

#include <filesystem>
#include <system_error>

namespace qv::setup {

enum class ExistingTarget {
  kReplace,  // a file at the target is replaced (MOVEFILE_REPLACE_EXISTING)
  kRefuse,   // anything at the target makes the rename fail (ERROR_ALREADY_EXISTS)
};

// One attempt, MOVEFILE_COPY_ALLOWED set (a move to another volume copies and
// deletes). The system's error, or none.
std::error_code RenameItem(const std::filesystem::path& from, const std::filesystem::path& to, ExistingTarget existing);

// True for the errors by which a rename says that something is at its target.
bool IsTargetExistsError(const std::error_code& error);

}  // namespace qv::setup
