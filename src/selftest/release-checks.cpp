#include "selftest/release-checks.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/net/url.h"
#include "update/build-identity.h"
#include "update/release-info.h"
#include "update/release-service.h"
#include "update/version-order.h"

namespace qv::setup {

void CheckVersionOrder() {
  using qv::update::CompareVersions;
  const bool ordered = CompareVersions("0.10.0", "0.9.2") > 0 && CompareVersions("v0.2.0", "0.2.0") == 0 &&
                       CompareVersions("0.2.0-rc1", "0.2.0") < 0 && CompareVersions("0.1", "0.1.0") == 0;
  if (!ordered) throw std::runtime_error("Version order failure");
}

void CheckBuildIdentity() {
  // The host is compared whole: an address that merely mentions the release
  // host in its path or query still sends the release check elsewhere.
  const bool real_version = qv::update::CurrentVersion() != qv::update::kPlaceholderVersion;
  const bool release_host = UrlHost(qv::update::ReleaseUrl()) == qv::update::kReleaseApiHost;
  if (!real_version || !release_host) {
    throw std::runtime_error("Built without qv_version or with a placeholder manifest address");
  }
}

void CheckReleaseParsing() {
  constexpr std::string_view kWindowsUrl = "https://releases.example.org/w.exe";
  const std::string sample = std::string(R"({"version":"0.2.0","notes":"x","url":"https://releases.example.org/r",)") +
                             R"("platforms":{"windows":{"url":")" + std::string(kWindowsUrl) +
                             R"("},"linux":{"url":"https://releases.example.org/l"}}})";
  const auto release = qv::update::ParseRelease(sample, "windows");
  const bool sample_read = release && release->version == "0.2.0" && release->url == kWindowsUrl;
  const bool versionless_refused = !qv::update::ParseRelease(R"({"notes":1})", "windows");
  if (!sample_read || !versionless_refused) throw std::runtime_error("Manifest parse failure");
}

}  // namespace qv::setup
