#pragma once
// The files that earlier packages of the port installed. An update removes
// those the new version no longer ships (see leftover-sweep.h), so the list
// only ever grows.

#include <array>
#include <cstddef>
#include <string_view>

namespace qv::setup {

inline constexpr std::size_t kPriorPackageFileCount = 354;

// Relative paths with '/' separators, sorted by bytes (ASCII order).
extern const std::array<std::string_view, kPriorPackageFileCount> PriorPackageFiles;

}  // namespace qv::setup
