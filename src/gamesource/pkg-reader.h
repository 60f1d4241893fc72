#pragma once
// Reads a few facts from the user's console package or dumped game folder
// without extracting anything: a named picture of the package or of the
// folder's "sce_sys", and whether a path is a package or dump of a known
// release. Never writes, never decrypts, never raises for bad content.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

// Bounds of what is read from a package.
inline constexpr std::uint32_t kPkgMaxEntries = 256;
inline constexpr std::uint64_t kPkgMaxNamesTable = 1'048'576;
inline constexpr std::uint64_t kPkgMinPicture = 8;
inline constexpr std::uint64_t kPkgMaxPicture = 8'388'608;

// At least 8 bytes beginning with the PNG signature.
bool HasPngSignature(std::string_view bytes);

// The PNG data of the package's entry called `name` (e.g. "pic1.png"); entries
// marked encrypted, with system ids or implausible sizes are passed over.
std::optional<std::string> ReadPkgPicture(const std::filesystem::path& package, std::string_view name);

// The PNG file folder/"sce_sys"/`name` (8 bytes to 8 MiB).
std::optional<std::string> ReadFolderPicture(const std::filesystem::path& folder, std::string_view name);

// Appends `path` to `list` when it is a ".pkg" file of a known release or a
// dumped folder of a known release with its title picture; a symbolic link to a
// folder never counts (a junction does). Raises std::system_error only for a
// file name that is not valid UTF-16.
// The view decides what counts as a link.
void CheckGameSourceCandidate(std::vector<std::filesystem::path>& list, const std::filesystem::path& path,
                              const FileSystemView& view = SystemView());

}  // namespace qv::setup
