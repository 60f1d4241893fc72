#include "update/download/whole-package.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/crypto/signed-trailer.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "update/build-identity.h"
#include "update/download/download-requests.h"
#include "update/download/fresh-file.h"

namespace qv::setup {
namespace {

// The system's text for an error, without the full stop and line break it ends in.
std::string SystemMessage(const std::error_code& error) {
  std::string text = error.message();
  while (!text.empty() && (text.back() == '.' || text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(error.value()) : text;
}

void CreateDownloadFolder(const std::filesystem::path& folder) {
  try {
    CreateFolders(folder);
  } catch (const std::filesystem::filesystem_error& failure) {
    throw std::runtime_error("Could not create the download folder next to the install: " +
                             SystemMessage(failure.code()) + ".");
  }
}

// The size a setup file is published with: without its signed overlay.
std::uint64_t SizeWithoutOverlay(const std::filesystem::path& file) {
  if (std::optional<SignedTrailer> trailer = ReadSignedTrailer(file)) return trailer->manifest_offset;
  std::optional<ItemStatus> status = ReadItemStatus(file);
  return status && !status->directory ? status->size : 0;
}

// The payload's entries and the manifest's files name the same files with
// the same sizes and digests.
bool PayloadMatchesManifest(std::vector<PayloadEntry> entries, std::vector<qv::update::FileEntry> files) {
  if (entries.size() != files.size()) return false;
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name != files[i].path || entries[i].size != files[i].size ||
        entries[i].sha256 != files[i].sha256) {
      return false;
    }
  }
  return true;
}

constexpr const char* kBeyondCeiling = "The release's setup file is larger than 4 GiB, more than a setup file can be.";

}  // namespace

std::uint64_t WholePackageLimit(std::uint64_t package_size) {
  return package_size == 0 ? kUnknownPackageSizeLimit : std::min(package_size, kSetupFileCeiling);
}

void DownloadWholePackage(UpdateRun& run, std::uint32_t timeout_ms) {
  if (!run.downloaded_package.empty()) return;
  if (run.release.package_size > kSetupFileCeiling) throw std::runtime_error(kBeyondCeiling);
  CreateDownloadFolder(run.download_folder);
  const std::filesystem::path file =
      run.download_folder / Utf8ToWide(qv::update::SetupPackageFileName(qv::update::CurrentPlatform()));
  UniqueFile handle = CreateFreshFile(file);
  if (!handle) throw std::runtime_error("Could not write the download.");

  const std::uint64_t limit = WholePackageLimit(run.release.package_size);
  bool written = true;
  DownloadRequest request = ReleaseFileRequest(run.release.package_url, timeout_ms, limit);
  request.sink = [&handle, &written](const char* data, std::uint64_t size) {
    DWORD done = 0;
    written = ::WriteFile(handle.get(), data, static_cast<DWORD>(size), &done, nullptr) && done == size;
    return written;
  };
  // Against the counters' own total: the server's announced length is not
  // trusted to be the package's.
  request.progress = [](std::uint64_t done, std::uint64_t) { RaiseProgressTo(done); };
  ResetProgress(limit);
  const DownloadResult result = HttpDownload(request);
  ++run.result.requests;
  run.result.bytes_downloaded += result.bytes;
  if (!::CloseHandle(handle.release())) written = false;  // closed by hand to see its result

  // A full disk stops the transfer too; it is named as what it is.
  if (!written) throw std::runtime_error("Could not write the download (is the disk full?).");
  if (result.too_large && limit == kSetupFileCeiling) throw std::runtime_error(kBeyondCeiling);
  if (!result.ok) {
    // A cancel is the user's, not a failure of the download.
    ThrowIfCancelled();
    throw std::runtime_error("The download failed: " + result.error + ".");
  }
  run.downloaded_package = file;
}

void CheckDownloadedPackage(UpdateRun& run, std::uint32_t timeout_ms) {
  if (run.payload.first != nullptr) return;
  DownloadWholePackage(run, timeout_ms);
  const std::filesystem::path& file = run.downloaded_package;
  if (SizeWithoutOverlay(file) != run.package.size) {
    throw std::runtime_error("The download has the wrong size. Nothing was changed.");
  }
  // Opened before it is hashed: the opened view holds the file against
  // changes, so the bytes checked are the bytes extracted.
  const PackagePayload payload = run.platform.open_package(file);
  const FileHasher& hasher = run.platform.hash_setup_file ? run.platform.hash_setup_file : run.platform.hash_file;
  if (hasher(file) != run.package.sha256) {
    throw std::runtime_error("The download does not match the signed manifest (SHA-256). Nothing was changed.");
  }
  if (!PayloadMatchesManifest(ReadPayloadIndex(payload.first, static_cast<std::size_t>(payload.second)), run.files)) {
    throw std::runtime_error("The package's files do not match the signed manifest. Nothing was changed.");
  }
  run.payload = payload;
}

}  // namespace qv::setup
