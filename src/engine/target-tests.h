#pragma once
// What a path leads to, links followed, as the engine's records and checks
// read it: a missing, dangling or unopenable item is neither a file nor a folder.

#include <filesystem>

#include "foundation/file-system-view.h"

namespace qv::setup {

inline bool IsFolderTarget(const std::filesystem::path& path) {
  auto attributes = ReadTargetAttributes(path);
  return attributes && (*attributes & kAttributeDirectory) != 0;
}

// The engine's "regular file": readable, and not a folder once links are followed.
inline bool IsRegularFileTarget(const std::filesystem::path& path) {
  auto attributes = ReadTargetAttributes(path);
  return attributes && (*attributes & kAttributeDirectory) == 0;
}

}  // namespace qv::setup
