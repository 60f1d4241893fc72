#include "update/download-policy.h"

#include "foundation/net/url.h"
#include "update/release-service.h"
#include "update/update-test-mode.h"

namespace qv::update {

using qv::setup::UrlHost;
using qv::setup::UrlScheme;

bool IsTestLocalUrl(const std::string& url) {
  if (!IsUpdateTestMode()) return false;
  const std::string host = UrlHost(url);
  return host == "127.0.0.1" || host == "localhost";
}

bool IsAllowedDownloadUrl(const std::string& url) {
  if (IsTestLocalUrl(url)) return true;
  if (UrlScheme(url) != "https") return false;
  const std::string host = UrlHost(url);
  return host == kReleaseWebHost || host == kReleaseAssetHost || host == kReleaseStorageHost;
}

bool IsAllowedReleaseUrl(const std::string& url) {
  if (IsAllowedDownloadUrl(url)) return true;
  return UrlScheme(url) == "https" && UrlHost(url) == kReleaseApiHost;
}

}  // namespace qv::update
