#pragma once
// Whether a path lies inside a folder, as the file system sees both.

#include <filesystem>

namespace qv::setup {

// True when `path` is `folder` itself or lies below it. Both are compared in
// their weakly canonical forms (WeaklyCanonicalPath: links followed, letter
// case as stored on disk), so a folder typed in other letter case, or reached
// through a junction, still contains what lies in it. False when either form
// cannot be made, and for paths on other drives.
bool IsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace qv::setup
