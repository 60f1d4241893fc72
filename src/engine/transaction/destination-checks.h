#pragma once
// Checks the install engine makes before and after it writes: where it may
// write (no links or junctions on the way), which installed files differ from
// the expected ones, and whether a found path lies outside the installation.

#include <filesystem>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-system-view.h"
#include "foundation/payload/payload-archive.h"

namespace qv::setup {

// Refuses a destination that is, or lies below, a symbolic link or junction:
// the destination, every existing ancestor and the root are tested; parts that
// do not exist yet pass. Raises std::runtime_error "Choose a destination
// without junctions or symbolic links." or the filesystem_error "absolute".
void CheckDestinationHasNoLinks(const std::filesystem::path& destination, const FileSystemView& view = SystemView());

// The expected entries that are missing under `root` or differ from it, in
// input order: unreadable, a folder, a symbolic link, another size, a failed
// hash (or no hasher) or another digest (compared byte for byte). A file is
// hashed only when its size matches. Polls CancelHook before every entry
// ("Installation cancelled."); a hash that fails while a cancel is pending
// passes its error on. Raises "Unsafe payload path." for an unsafe name.
std::vector<PayloadEntry> FindDifferingFiles(const std::filesystem::path& root,
                                             const std::vector<PayloadEntry>& expected, const FileHasher& hasher,
                                             const FileSystemView& view = SystemView());

// True when `candidate` exists and, in weakly canonical form, lies neither in
// `folder` nor below it (compared element by element, letter case counting).
// `folder` must already be weakly canonical. A missing candidate, or one whose
// canonical form cannot be built, gives false. Raises the filesystem_error
// "absolute" when the candidate cannot be made absolute.
bool IsOutsideFolderCanonical(const std::filesystem::path& folder, const std::filesystem::path& candidate);

}  // namespace qv::setup
