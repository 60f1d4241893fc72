#pragma once
// The whole setup file of the new release, for updates that cannot or should
// not fetch single files: downloaded once per run into the download folder
// beside the game, checked against the signed manifest and opened, so that
// the changed files can be extracted from its payload archive.

#include <cstdint>
#include <filesystem>

#include "update/download/update-run.h"

namespace qv::setup {

// How long the download may wait for the server in each of its phases.
inline constexpr std::uint32_t kPackageDownloadTimeoutMs = 30000;

// Size limit (and progress total) of a release that states no package size.
inline constexpr std::uint64_t kUnknownPackageSizeLimit = 0x80000000ull;

// The largest setup file there can be (its payload is a resource, whose size
// the format holds in 32 bits): the ceiling of every whole-package download,
// since the release document that states the package size is not signed.
inline constexpr std::uint64_t kSetupFileCeiling = 0x100000000ull;

// The size limit of a whole-package download: the release's package size up
// to the ceiling, or kUnknownPackageSizeLimit when it states none.
std::uint64_t WholePackageLimit(std::uint64_t package_size);

// Downloads run.release.package_url into run.download_folder (created with its
// parents) as SetupPackageFileName(CurrentPlatform()) and sets
// run.downloaded_package; does nothing when that is set already. Raises the
// result's requests and bytes_downloaded whatever the outcome, and progress
// against WholePackageLimit. Raises std::runtime_error:
//   "The release's setup file is larger than 4 GiB, more than a setup file
//     can be." (stated so by the release, before anything is fetched, or
//     found so while downloading),
//   "Could not create the download folder next to the install: <message>.",
//   "Could not write the download.", "The download failed: <error>.",
//   "Could not write the download (is the disk full?).", and
//   "Installation cancelled." when CancelHook ended the download.
void DownloadWholePackage(UpdateRun& run, std::uint32_t timeout_ms = kPackageDownloadTimeoutMs);

// DownloadWholePackage, then checks the file against run.package (size
// without the signed overlay, SHA-256 with the setup-file hasher, payload
// entries against run.files) and opens it with platform.open_package into
// run.payload; does nothing once run.payload is set. Raises the texts of
// DownloadWholePackage and:
//   "The download has the wrong size. Nothing was changed.",
//   "The download does not match the signed manifest (SHA-256). Nothing was changed.",
//   "The package's files do not match the signed manifest. Nothing was changed.".
void CheckDownloadedPackage(UpdateRun& run, std::uint32_t timeout_ms = kPackageDownloadTimeoutMs);

}  // namespace qv::setup
