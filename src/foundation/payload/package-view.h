#pragma once
// A downloaded setup file opened as data, to reach its payload archive
// without running any of its code.

#include <cstdint>
#include <filesystem>
#include <utility>

#include "foundation/win/unique-handle.h"

namespace qv::setup::win_updater {

// Owned by the updater, which shares it between the hook that opens the
// package and the hook that reads the payload, and closes it afterwards
// (module first, then file). OpenPackageView stores each handle as soon as it
// has it, so a view that failed half-way holds what was opened.
struct PackageView {
  UniqueFile file;      // read sharing only: nobody may change the file meanwhile
  UniqueModule module;  // the file loaded as a resource-only data image
};

}  // namespace qv::setup::win_updater

namespace qv::setup {

// Opens the setup file into `view` and returns its payload archive (resource
// RCDATA 100, which must start with "QVSETUP1" and hold at least 12 bytes) as
// a pointer and length, valid while the view stays open. Fails with
// "Could not open the downloaded package.", "The downloaded package is not a
// setup program." or "The downloaded package holds no payload.".
std::pair<const std::uint8_t*, std::uint64_t> OpenPackageView(win_updater::PackageView& view,
                                                              const std::filesystem::path& path);

}  // namespace qv::setup
