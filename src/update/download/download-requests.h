#pragma once
// What every download of release files (range requests and the whole setup
// file) hands to the HTTP client alike.

#include <cstdint>
#include <string>

#include "foundation/net/http-client.h"

namespace qv::setup {

// A request for `url` with its time-out and size limit, every hop checked
// with IsAllowedDownloadUrl, and the process-wide CancelHook as its cancel
// query. The caller adds the sink, progress and range.
DownloadRequest ReleaseFileRequest(const std::string& url, std::uint32_t timeout_ms, std::uint64_t max_bytes);

}  // namespace qv::setup
