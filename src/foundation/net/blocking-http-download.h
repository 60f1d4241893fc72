#pragma once
// The download itself, on the calling thread: WinHTTP's synchronous calls,
// each of which waits for as long as the server keeps the connection busy.
// HttpDownload runs it on a thread of its own, so that a Cancel, the time-out
// for an answer's headers and the deadline never wait for the network.

#include <cstdint>
#include <string>

#include "foundation/net/http-client.h"
#include "foundation/net/network-call.h"

namespace qv::setup {

// HttpDownload's work, with the request's callables called on this thread.
// Tells `call` the address of every request, when its headers are due and
// the status of every answer.
DownloadResult BlockingHttpDownload(const DownloadRequest& request, NetworkCall& call);

// The failure texts that the waiting thread gives as the download would:
// "no answer from HOST (error 12002)" (the headers did not arrive within the
// time-out, as WinHTTP reports a silent server) and "the server HOST is too
// slow (no complete answer within N seconds)".
std::string HeadersLateText(const std::string& url);
std::string DeadlineText(const std::string& url, std::uint32_t deadline_ms);

}  // namespace qv::setup
