#include "update/update-checker.h"

#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "foundation/logger.h"
#include "foundation/net/http-client.h"
#include "update/build-identity.h"
#include "update/download-estimate.h"
#include "update/manifest-fetch.h"
#include "update/version-order.h"

namespace qv::update {
namespace {

constexpr std::string_view kInvalidHost = "invalid";
constexpr std::string_view kInvalidSuffix = ".invalid";

// Fetches and judges the release; the result goes into the state only for a
// release newer than this build.
void CheckRelease(const CheckContext& context) {
  qv::setup::DocumentRequest request;
  request.url = context.url;
  request.timeout_ms = context.timeout_ms;
  request.deadline_ms = context.deadline_ms;
  request.follow_redirects = true;
  request.max_body = kReleaseDocumentLimit;
  request.no_cache = false;
  std::optional<qv::setup::DocumentResponse> response = qv::setup::HttpsGetDocument(request);
  if (!response || response->status != 200) return;

  std::optional<Release> release = ParseRelease(response->body, CurrentPlatform());
  if (!release || CompareVersions(release->version, CurrentVersion()) <= 0) return;

  if (!release->package_url.empty() && release->package_size != 0) {
    bool ranges_unsupported = false;
    std::optional<UpdateManifest> manifest = FetchSignedManifest(*release, nullptr, &ranges_unsupported);
    // Without ranges the update takes the whole file, which is still a known download.
    release->manifest_resolved = manifest.has_value() || ranges_unsupported;
    if (manifest && !context.install_folder.empty()) {
      release->download_estimate = EstimateDownloadBytes(*manifest, CurrentPlatform(), context.install_folder);
    } else if (!manifest && ranges_unsupported) {
      release->download_estimate = release->package_size;
    }
  }
  std::lock_guard<std::mutex> lock(context.state->mutex);
  context.state->result = std::move(release);
}

}  // namespace

bool IsReservedInvalidHost(std::string_view url) {
  std::size_t start = url.size() < 3 ? std::string_view::npos : url.find("://");
  start = start == std::string_view::npos ? 0 : start + 3;
  std::string_view host = url.substr(start);
  host = host.substr(0, host.find_first_of("/:"));
  return host.empty() || host == kInvalidHost || (host.size() > 7 && host.ends_with(kInvalidSuffix));
}

void RunUpdateCheck(CheckContext context) {
  try {
    CheckRelease(context);
  } catch (const std::exception& error) {
    qv::setup::LogWarn("update: the check failed ({})", error.what());
  } catch (...) {
    qv::setup::LogWarn("update: the check failed");
  }
  context.state->done.store(true);
}

void Checker::Start(const std::filesystem::path& installFolder) {
  if (state) return;
  state = std::make_shared<State>();
  std::string url = ReleaseUrl();
  if (url.size() < 8 || IsReservedInvalidHost(url) || !url.starts_with("https://")) {
    state->done.store(true);
    return;
  }
  CheckContext context{state, std::move(url), installFolder};
  try {
    std::thread(RunUpdateCheck, std::move(context)).detach();
  } catch (const std::system_error& error) {
    // No thread, no check: the caller polls an ended check as for any failure.
    qv::setup::LogWarn("update: the check could not start ({})", error.what());
    state->done.store(true);
  }
}

bool Checker::Done() const { return state && state->done.load(); }

std::optional<Release> Checker::Result() const {
  if (!state) return std::nullopt;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->result;
}

Checker& TheUpdateChecker() {
  static Checker checker;
  return checker;
}

}  // namespace qv::update
