#include "update/download/download-requests.h"

#include "foundation/hooks.h"
#include "update/download-policy.h"

namespace qv::setup {

DownloadRequest ReleaseFileRequest(const std::string& url, std::uint32_t timeout_ms, std::uint64_t max_bytes) {
  DownloadRequest request;
  request.url = url;
  request.timeout_ms = timeout_ms;
  request.max_bytes = max_bytes;
  request.allow_url = [](const std::string& address) { return qv::update::IsAllowedDownloadUrl(address); };
  request.cancelled = [] { return IsCancelRequested(); };
  return request;
}

}  // namespace qv::setup
