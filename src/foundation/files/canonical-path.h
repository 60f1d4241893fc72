#pragma once
// The weakly canonical form of a path, the form in which the program compares
// installation folders, journal folders and candidate paths: the longest
// leading part that exists is resolved as the file system sees it (links and
// junctions followed, letter case as stored on disk), and the part that does
// not exist yet is appended lexically ("." and ".." removed).
//
// libstdc++'s std::filesystem::weakly_canonical does neither on Windows (it
// resolves no links and keeps the caller's letter case), so it is not used.

#include <filesystem>
#include <system_error>

namespace qv::setup {

// Absolute (current folder), then the existing leading part resolved through
// the system's final path name of an open handle. The result carries no
// "\\?\" prefix ("\\?\UNC\srv\share" becomes "\\srv\share") and no trailing
// separator except on a root. A leading part that cannot be opened because it
// is missing, refused or not ready counts as not existing. Other failures set
// `error` and return an empty path.
std::filesystem::path WeaklyCanonicalPath(const std::filesystem::path& path, std::error_code& error);

// As above; failures raise std::filesystem::filesystem_error("weakly_canonical").
std::filesystem::path WeaklyCanonicalPath(const std::filesystem::path& path);

}  // namespace qv::setup
