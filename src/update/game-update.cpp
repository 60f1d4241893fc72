#include "update/game-update.h"

#include <stdexcept>
#include <unordered_set>

#include "engine/install-hooks.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-temp-folders.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/records/update-log.h"
#include "engine/transaction/destination-checks.h"
#include "engine/transaction/install-transaction.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/net/http-client.h"
#include "foundation/net/url.h"
#include "foundation/text/text.h"
#include "update/build-identity.h"
#include "update/download-policy.h"
#include "update/download/changed-files.h"
#include "update/download/download-folder.h"
#include "update/download/unwritable-folders.h"
#include "update/download/update-run.h"
#include "update/download/whole-package.h"
#include "update/manifest-fetch.h"
#include "update/manifest-names.h"
#include "update/manifest-stored-names.h"
#include "update/release-info.h"
#include "update/update-test-mode.h"
#include "update/version-order.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kReleaseDocumentTimeoutMs = 15000;
// The whole fetch of the release document, however the server paces it.
constexpr std::uint32_t kReleaseDocumentDeadlineMs = 30000;
constexpr std::uint64_t kReleaseDocumentLimit = 0x80000;  // 512 KiB
// Above this share of the setup file, the changed files come from the whole file.
constexpr double kPartsShareLimit = 0.7;

constexpr const char* kNotAnUpdatableCopy =
    "This folder is neither a Q.V. DU Vora installed by its setup nor a portable copy; download the new version "
    "from the release page.";

void Announce(const GameUpdatePlatform& platform, UpdatePhase phase) {
  if (platform.on_phase) platform.on_phase(phase);
}

// What the folder holds and which version it is; raises when it is neither
// an installed copy nor a portable copy that can be updated where it lies.
void IdentifyCopy(UpdateRun& run) {
  run.installed_copy = ReadItemStatus(run.game_folder / kInstallManifestName).has_value();
  if (run.installed_copy) {
    const ExistingInstall existing = ReadExistingInstall(run.game_folder);
    if (!existing.is_install || !existing.has_manifest) throw std::runtime_error(kNotAnUpdatableCopy);
    run.installed_version = existing.version;
  } else {
    const ExistingInstall portable = ProbePortableCopy(run.game_folder, run.platform.hash_file);
    if (!portable.is_install) throw std::runtime_error(kNotAnUpdatableCopy);
    run.installed_version = portable.version;
    // Checked before anything is fetched: an update that cannot be written
    // would otherwise download for nothing.
    const std::string unwritable = DescribeUnwritableFolders(run.game_folder, run.platform);
    if (!unwritable.empty()) {
      throw std::runtime_error(unwritable +
                               " This portable copy cannot update itself there: move its folder to a place you can "
                               "write to, or download the new version from the release page.");
    }
  }
  if (run.installed_version.empty()) run.installed_version = std::string(qv::update::CurrentVersion());
}

// The release document, read from the release service (every hop checked).
qv::update::Release FetchRelease() {
  const std::string address = qv::update::ReleaseUrl();
  if (!qv::update::IsAllowedReleaseUrl(address)) {
    throw std::runtime_error("The update address " + UrlForMessage(address) + " is not allowed.");
  }
  std::string body;
  DownloadRequest request;
  request.url = address;
  request.timeout_ms = kReleaseDocumentTimeoutMs;
  request.deadline_ms = kReleaseDocumentDeadlineMs;
  request.max_bytes = kReleaseDocumentLimit;
  request.cancelled = [] { return IsCancelRequested(); };
  request.allow_url = [](const std::string& url) { return qv::update::IsAllowedReleaseUrl(url); };
  request.sink = [&body](const char* data, std::uint64_t size) {
    body.append(data, static_cast<std::size_t>(size));
    return true;
  };
  const DownloadResult fetched = HttpDownload(request);
  ThrowIfCancelled();
  if (!fetched.ok) throw std::runtime_error("Could not reach the release page: " + fetched.error + ".");
  std::optional<qv::update::Release> release = qv::update::ParseRelease(body, qv::update::CurrentPlatform());
  if (!release) throw std::runtime_error("The release information could not be read.");
  return *release;
}

// The release's verified manifest: by two range requests, or out of the
// whole setup file when the server serves no parts of it.
void ObtainManifest(UpdateRun& run) {
  std::string error;
  bool ranges_unsupported = false;
  std::optional<qv::update::UpdateManifest> manifest =
      qv::update::FetchSignedManifest(run.release, &error, &ranges_unsupported, [] { return IsCancelRequested(); });
  ThrowIfCancelled();
  if (!manifest && ranges_unsupported) {
    AppendUpdateLog(run.game_folder, WholePackageInsteadLine(error));
    Announce(run.platform, UpdatePhase::kDownloading);
    DownloadWholePackage(run);
    manifest = qv::update::ReadLocalSignedManifest(run.release, run.downloaded_package, &error);
  }
  if (!manifest) throw std::runtime_error("The update could not be verified: " + error + ".");
  run.manifest = std::move(*manifest);

  const std::string platform(qv::update::CurrentPlatform());
  const auto files = run.manifest.files.find(platform);
  if (files == run.manifest.files.end() || files->second.empty()) {
    throw std::runtime_error("The signed manifest lists no files for this system.");
  }
  run.files = files->second;
  qv::update::CheckManifestFileNames(run.files);
  qv::update::CheckManifestNamesAsStored(run.game_folder, run.files);
  if (const auto package = run.manifest.packages.find(platform); package != run.manifest.packages.end()) {
    run.package = package->second;
  }
}

// Which installed files differ, and whether to fetch them as parts of the
// setup file or to take the whole file.
void DecideDownload(UpdateRun& run) {
  for (const qv::update::FileEntry& file : run.files) run.expected.push_back({file.path, file.size, file.sha256});
  run.differing = FindDifferingFiles(run.game_folder, run.expected, run.platform.hash_file);
  run.result.files_differed = run.differing.size();

  std::unordered_set<std::string> differing;
  for (const PayloadEntry& entry : run.differing) differing.insert(entry.name);
  std::uint64_t changed_packed = 0;
  bool every_file_packed = true;
  for (const qv::update::FileEntry& file : run.files) {
    every_file_packed = every_file_packed && file.packed != 0;
    if (differing.contains(file.path)) changed_packed += file.packed;
  }
  const bool whole_asked = qv::update::IsUpdateTestMode() && !qv::update::TestSwitchText(L"QV_UPDATE_TEST_FULL").empty();
  run.parts = run.downloaded_package.empty() && every_file_packed &&
              static_cast<double>(changed_packed) <= kPartsShareLimit * static_cast<double>(run.package.size) &&
              !whole_asked;
  run.result.parts = run.parts;
}

std::string WithoutOneLeadingV(const std::string& version) {
  return !version.empty() && (version[0] == 'v' || version[0] == 'V') ? version.substr(1) : version;
}

// The engine's options for an update whose new files come from the download.
InstallHooks UpdateHooks(UpdateRun& run) {
  const GameUpdatePlatform& platform = run.platform;
  InstallHooks hooks;
  hooks.new_version = WithoutOneLeadingV(run.manifest.version);
  hooks.run_id = platform.run_id;
  hooks.validate_destination = platform.check_destination ? platform.check_destination : [](const fs::path&) {};
  // The signed manifest vouches for the new files, not this program's own file.
  hooks.verify_setup = [] {};
  hooks.check_payload = platform.check_payload;
  hooks.extract_package = [](const fs::path&, const fs::path&) {
    throw std::runtime_error("The game archives are missing; run the setup with your PKG or dump.");
  };
  hooks.create_shortcut = [](const fs::path&) {};
  hooks.keep_journal = true;
  hooks.download_folder = run.download_folder;
  hooks.process_id = platform.process_id;
  hooks.fail_at_step = platform.fail_at_step;
  hooks.picture_search_folders = platform.package_folders;
  hooks.payload_entries = [&run] { return run.expected; };
  hooks.extract_entries = [&run](const fs::path& staging, const std::vector<PayloadEntry>& wanted) {
    return ObtainChangedFiles(run, staging, wanted);
  };
  hooks.hash_file = platform.hash_file;
  hooks.expected_changes = run.differing;
  hooks.before_commit = [&platform] { Announce(platform, UpdatePhase::kInstalling); };
  if (qv::update::IsUpdateTestMode()) {
    hooks.pause_at_step = qv::update::TestSwitchStep(L"QV_UPDATE_TEST_PAUSE_AT", hooks.pause_at_step);
    hooks.corrupt_after_commit = qv::update::TestSwitchText(L"QV_UPDATE_TEST_CORRUPT");
  }
  hooks.portable_copy = !run.installed_copy;
  hooks.fallback_previous_version = run.installed_version;
  return hooks;
}

std::string UpdateLogLine(const UpdateRun& run) {
  const GameUpdateResult& result = run.result;
  // The bytes downloaded are set against the setup file as a whole download
  // takes it (the release's size, which its verified trailer confirmed), not
  // against the package the manifest describes: that one ends before the
  // signed overlay, so a whole download would seem to take more than all.
  return std::string("in-game update") + (run.installed_copy ? "" : " of a portable copy") + " to " + result.version +
         ": " + std::to_string(result.files_differed) + " of " + std::to_string(result.outcome.verified) +
         " files differed; downloaded " + std::to_string(result.bytes_downloaded) + " bytes in " +
         CountOf(static_cast<std::uint64_t>(result.requests), "request", "requests") +
         (result.parts ? " (parts of the package)" : " (the whole package)") + " of a " +
         std::to_string(run.release.package_size) + " byte package";
}

}  // namespace

GameUpdateResult ApplyGameUpdate(const fs::path& given_folder, const GameUpdatePlatform& platform, std::string& page) {
  GameUpdateResult result;
  UpdateRun run(platform, result);

  // The folder, with an interrupted earlier update undone or finished first.
  run.game_folder = NormalAbsolutePath(given_folder);
  if (platform.check_destination) platform.check_destination(run.game_folder);
  if (AnyJournalKept(run.game_folder)) RecoverInterruptedUpdate(run.game_folder);
  // What killed runs left beside the folder goes before this run adds its own.
  RemoveAbandonedUpdateFolders(run.game_folder, platform.run_id);
  IdentifyCopy(run);

  // The newest release, which must be newer and have a setup file here.
  // A Cancel is honoured between the steps before the download too.
  ThrowIfCancelled();
  Announce(platform, UpdatePhase::kChecking);
  run.release = FetchRelease();
  ThrowIfCancelled();
  page = run.release.page.empty() ? run.release.url : run.release.page;
  if (qv::update::CompareVersions(run.release.version, run.installed_version) < 1) {
    throw std::runtime_error("Version " + run.installed_version + " is already the newest.");
  }
  if (run.release.package_url.empty()) throw std::runtime_error("The release has no package for this system.");
  if (platform.on_release) platform.on_release(WithoutOneLeadingV(run.release.version));
  run.download_folder = DownloadFolderFor(run.game_folder, platform.run_id);

  bool package_open = true;
  auto close_package = [&] {
    if (package_open && platform.close_package) platform.close_package();
    package_open = false;
  };
  try {
    ObtainManifest(run);
    ThrowIfCancelled();
    DecideDownload(run);
    ThrowIfCancelled();
    Announce(platform, UpdatePhase::kDownloading);
    const InstallHooks hooks = UpdateHooks(run);
    result.version = hooks.new_version;
    RunInstallTransaction(result.outcome, fs::path(), run.game_folder, false, hooks);
    // From here on, the engine's counts are the update's: it leaves the files
    // a graphics route owns to the route (neither written nor checked), so the
    // comparison above may have named more. Every text about this update gives
    // the same numbers.
    result.files_differed = result.outcome.replaced + result.outcome.added;
    close_package();
    AppendUpdateLog(run.game_folder, UpdateLogLine(run));
  } catch (...) {
    close_package();
    // Whatever failed after the download folder may have been made, it goes
    // (a whole setup file is hundreds of megabytes) unless a journal left by
    // the engine names it: the journal's handling then owns it.
    if (!ReadItemStatus(UpdateJournalPath(run.game_folder))) RemoveDownloadFolder(run.game_folder, run.download_folder);
    throw;
  }
  return result;
}

}  // namespace qv::setup
