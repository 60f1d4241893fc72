#pragma once
// How many bytes an update of an installation would download, judged from the
// records the installation keeps, without reading its files.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "update/signed-manifest.h"

namespace qv::update {

// The packed bytes of the platform's files that the installation's records do
// not show unchanged, or the whole setup file's size when a changed file
// cannot be fetched by range or the parts add up to more than 0.7 of the
// file. 0 when the manifest has no package for the platform.
std::uint64_t EstimateDownloadBytes(const UpdateManifest& manifest, std::string_view platform,
                                    const std::filesystem::path& installFolder);

}  // namespace qv::update
