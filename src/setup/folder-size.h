#pragma once

#include <cstdint>
#include <filesystem>

namespace qv::setup {

// The sum of the sizes of the items directly inside `folder`, links followed
// (a link counts as the file it leads to). Folders add nothing, not even their
// contents; an item whose size cannot be read adds 0, and a folder that
// cannot be listed sums to 0. Feeds the progress of the package extraction
// and the uninstall entry's size estimate.
std::uint64_t FolderSize(const std::filesystem::path& folder);

}  // namespace qv::setup
