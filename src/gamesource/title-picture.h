#pragma once
// The game's own title picture ("pic1.png") and icon ("icon0.png"), taken from
// whatever the user supplied, and a bounded search of likely folders for other
// copies of this game when the source is no longer at hand.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

// Entries inspected by one FindDumpedGames call, across all its folders.
inline constexpr std::size_t kDumpedGameScanLimit = 4000;

// The PNG bytes of the picture `name` from a package file (its entry, else the
// "sce_sys" of the file's folder), a file inside a dumped folder, or a dumped
// folder (its own "sce_sys", else that of a direct subfolder). Never raises.
std::optional<std::string> ReadSourcePicture(const std::filesystem::path& source, std::string_view name);

// Packages and dumped folders of this game found directly in each folder of
// `folders` or one level below, in the order found; at most `limit` entries
// (outer and inner, across all folders) are inspected. Raises only what the
// candidate check raises.
// The view decides what counts as a link.
std::vector<std::filesystem::path> FindDumpedGames(const std::vector<std::filesystem::path>& folders,
                                                   std::size_t limit = kDumpedGameScanLimit,
                                                   const FileSystemView& view = SystemView());

}  // namespace qv::setup
