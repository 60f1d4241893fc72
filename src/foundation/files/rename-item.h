#pragma once
// The one platform rename of files and folders (MoveFileExW), where the
// system's error code matters: std::filesystem::rename may lose it.

#include <filesystem>
#include <functional>
#include <system_error>

namespace qv::setup {

enum class ExistingTarget {
  kReplace,  // a file at the target is replaced (MOVEFILE_REPLACE_EXISTING)
  kRefuse,   // anything at the target makes the rename fail (ERROR_ALREADY_EXISTS)
};

// Copies a file's bytes to a new name; false on failure.
using FileCopier = std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;

// One attempt. A file moved to another volume (a folder that is a junction or
// a mount point to another drive) is copied whole into place (CopyIntoPlace:
// a temporary beside the target, flushed, then renamed), and only then is its
// source deleted; a source that cannot be deleted fails the move with both
// copies whole. Folders and links are never copied: their move to another
// volume fails with ERROR_NOT_SAME_DEVICE. The system's error, or none.
std::error_code RenameItem(const std::filesystem::path& from, const std::filesystem::path& to, ExistingTarget existing);

// True for the errors by which a rename says that something is at its target.
bool IsTargetExistsError(const std::error_code& error);

// Stands in for the platform in tests of moves to another volume, which Wine
// cannot make (it creates no junctions or mount points). Both stay empty in
// the product, where the platform itself says which moves cross volumes.
struct CrossVolumeTestHook {
  // True for a move that the test takes as one to another volume.
  std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)> crosses;
  // The copy such a move makes (a test stops it midway); empty: the system's.
  FileCopier copy;
};
extern CrossVolumeTestHook CrossVolumeHook;

}  // namespace qv::setup
