#pragma once
// The console's "param.sfo" (PSF key-value file) of a dumped game and the region
// names derived from a release's identifiers. Bad content never raises: a
// missing, oversized or malformed file, or a missing key, reads as "".

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Largest "param.sfo" that is read (1 MiB).
inline constexpr std::uint64_t kParamSfoLimit = 1'048'576;
// Index entries examined per lookup.
inline constexpr std::uint32_t kParamSfoMaxEntries = 512;

// The value of `key` in the param.sfo image `bytes`, cut before its first NUL;
// "" when the key is absent or the image is malformed.
std::string ParseParamSfoValue(std::string_view bytes, std::string_view key);

// ParseParamSfoValue of folder/"sce_sys"/"param.sfo" (read only when it is at
// most 1 MiB).
std::string ReadParamSfoValue(const std::filesystem::path& folder, std::string_view key);

// "Europe", "Asia", "Japan", "Korea", "US" or "unknown": from the content
// identifier when it has the console's form, else from a known title identifier.
std::string RegionFromContentId(std::string_view title_id, std::string_view content_id);

}  // namespace qv::setup
