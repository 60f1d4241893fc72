#include "update/game-update.h"

#include <stdexcept>

#include "engine/existing-install.h"
#include "engine/install-manifest.h"
#include "engine/update-journal.h"
#include "foundation/http-client.h"
#include "foundation/item-status.h"
#include "foundation/paths.h"
#include "update/build-identity.h"
#include "update/download-policy.h"
#include "update/release-info.h"
#include "update/version-order.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kReleaseDocumentTimeoutMs = 15000;
constexpr std::uint64_t kReleaseDocumentLimit = 0x80000;  // 512 KiB

constexpr const char* kNotAnUpdatableCopy =
    "This folder is neither a Q.V. DU Vora installed by its setup nor a portable copy; download the new version "
    "from the release page.";

void Announce(const GameUpdatePlatform& platform, UpdatePhase phase) {
  if (platform.on_phase) platform.on_phase(phase);
}

// What the folder holds and which version it is; raises when it is neither
// an installed copy nor a portable copy.
struct InstalledCopy {
  bool installed = false;  // holds an install manifest (else a portable copy)
  std::string version;     // may be empty
};

InstalledCopy IdentifyCopy(const fs::path& game_folder, const GameUpdatePlatform& platform) {
  InstalledCopy copy;
  copy.installed = ReadItemStatus(game_folder / kInstallManifestName).has_value();
  if (copy.installed) {
    const ExistingInstall existing = ReadExistingInstall(game_folder);
    if (!existing.is_install || !existing.has_manifest) throw std::runtime_error(kNotAnUpdatableCopy);
    copy.version = existing.version;
    return copy;
  }
  const ExistingInstall portable = ProbePortableCopy(game_folder, platform.hash_file);
  if (!portable.is_install) throw std::runtime_error(kNotAnUpdatableCopy);
  copy.version = portable.version;
  return copy;
}

// The release document, read from the release service (every hop checked).
qv::update::Release FetchRelease() {
  const std::string address = qv::update::ReleaseUrl();
  if (!qv::update::IsAllowedReleaseUrl(address)) {
    throw std::runtime_error("The update address " + address + " is not allowed.");
  }
  std::string body;
  DownloadRequest request;
  request.url = address;
  request.timeout_ms = kReleaseDocumentTimeoutMs;
  request.max_bytes = kReleaseDocumentLimit;
  request.allow_url = [](const std::string& url) { return qv::update::IsAllowedReleaseUrl(url); };
  request.sink = [&body](const char* data, std::uint64_t size) {
    body.append(data, static_cast<std::size_t>(size));
    return true;
  };
  const DownloadResult fetched = HttpDownload(request);
  if (!fetched.ok) throw std::runtime_error("Could not reach the release page: " + fetched.error + ".");
  std::optional<qv::update::Release> release = qv::update::ParseRelease(body, qv::update::CurrentPlatform());
  if (!release) throw std::runtime_error("The release information could not be read.");
  return *release;
}

}  // namespace

GameUpdateResult ApplyGameUpdate(const fs::path& given_folder, const GameUpdatePlatform& platform, std::string& page) {
  // 1-2. The folder, and an interrupted earlier update undone or finished.
  const fs::path game_folder = NormalAbsolutePath(given_folder);
  if (platform.check_destination) platform.check_destination(game_folder);
  if (ReadItemStatus(UpdateJournalPath(game_folder))) {
    RecoverInterruptedUpdate(game_folder, platform.is_process_alive);
  }

  // 3-5. What is installed.
  InstalledCopy copy = IdentifyCopy(game_folder, platform);
  if (copy.version.empty()) copy.version = std::string(qv::update::CurrentVersion());

  // 6-11. The newest release, which must be newer and have a package here.
  Announce(platform, UpdatePhase::kChecking);
  const qv::update::Release release = FetchRelease();
  page = release.page.empty() ? release.url : release.page;
  if (qv::update::CompareVersions(release.version, copy.version) < 1) {
    throw std::runtime_error("Version " + copy.version + " is already the newest.");
  }
  if (release.package_url.empty()) throw std::runtime_error("The release has no package for this system.");

  throw std::runtime_error("Downloading the new version is not part of this build yet.");
}

}  // namespace qv::setup
