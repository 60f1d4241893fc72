#pragma once
// The download itself, on the calling thread: WinHTTP's synchronous calls,
// each of which waits for as long as the server keeps silent (up to the
// request's time-outs). HttpDownload runs it on a thread of its own whenever
// the caller can cancel, so that a Cancel never waits for the network.

#include "foundation/http-client.h"

namespace qv::setup {

// HttpDownload's work, with the request's callables called on this thread.
DownloadResult BlockingHttpDownload(const DownloadRequest& request);

}  // namespace qv::setup
