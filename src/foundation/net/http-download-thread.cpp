// A download the caller never waits for beyond its bounds. WinHTTP's
// synchronous calls block for as long as the server keeps a connection busy:
// a server that sends a byte every few seconds holds each read that long, and
// one that drips its headers holds the request with no limit at all. So every
// download runs on a thread of its own (RunNetworkCall) while the caller's
// thread asks the cancel callable every 100 ms and watches the request's
// time-out for the headers and its deadline. When one of them ends the wait,
// the caller's thread returns at once; the download thread is left to end by
// itself when its blocked call returns, and from that moment it calls none of
// the caller's callables again and hands nothing on.

#include <memory>
#include <mutex>
#include <utility>

#include "foundation/net/blocking-http-download.h"
#include "foundation/net/http-client.h"
#include "foundation/net/network-call.h"

namespace qv::setup {
namespace {

// What the caller's thread and the download thread share. Every call of a
// caller's callable is made under the call's mutex, so the callables are
// never called by two threads at once, and never once the caller has gone.
struct SharedDownload {
  NetworkCall call;
  DownloadResult result;    // read by the caller only after the thread ended
  std::uint64_t bytes = 0;  // accepted by the caller's sink so far
};

// The request as the download thread runs it: each callable checks, under
// the shared lock, that the caller is still there.
DownloadRequest GuardedCopy(const DownloadRequest& request, const std::shared_ptr<SharedDownload>& shared) {
  DownloadRequest copy = request;
  if (request.allow_url) {
    copy.allow_url = [shared, allow = request.allow_url](const std::string& url) {
      std::lock_guard<std::mutex> lock(shared->call.mutex);
      return !shared->call.abandoned && allow(url);
    };
  }
  if (request.sink) {
    copy.sink = [shared, sink = request.sink](const char* data, std::uint64_t size) {
      std::lock_guard<std::mutex> lock(shared->call.mutex);
      if (shared->call.abandoned || !sink(data, size)) return false;
      shared->bytes += size;
      return true;
    };
  } else {
    copy.sink = [shared](const char*, std::uint64_t size) {
      std::lock_guard<std::mutex> lock(shared->call.mutex);
      shared->bytes += size;
      return !shared->call.abandoned;
    };
  }
  if (request.progress) {
    copy.progress = [shared, progress = request.progress](std::uint64_t done, std::uint64_t total) {
      std::lock_guard<std::mutex> lock(shared->call.mutex);
      if (!shared->call.abandoned) progress(done, total);
    };
  }
  copy.cancelled = [shared, cancelled = request.cancelled] {
    std::lock_guard<std::mutex> lock(shared->call.mutex);
    return shared->call.abandoned || (cancelled && cancelled());
  };
  return copy;
}

// The result of a download the caller stopped waiting for.
DownloadResult AbandonedResult(SharedDownload& shared, NetworkWaitEnd end, const DownloadRequest& request) {
  std::lock_guard<std::mutex> lock(shared.call.mutex);
  DownloadResult result;
  result.bytes = shared.bytes;
  result.status = shared.call.status;
  switch (end) {
    case NetworkWaitEnd::kCancelled:
      result.error = "cancelled";
      break;
    case NetworkWaitEnd::kDeadlinePassed:
      result.error = DeadlineText(shared.call.url.empty() ? request.url : shared.call.url, request.deadline_ms);
      break;
    default:
      result.error = HeadersLateText(shared.call.url);
      break;
  }
  return result;
}

}  // namespace

DownloadResult HttpDownload(const DownloadRequest& request) {
  auto shared = std::make_shared<SharedDownload>();
  NetworkWaitBounds bounds;
  bounds.deadline = DeadlineAfter(request.deadline_ms);
  bounds.cancelled = request.cancelled;
  const NetworkWaitEnd end = RunNetworkCall(
      std::shared_ptr<NetworkCall>(shared, &shared->call),
      [shared, copy = GuardedCopy(request, shared)] { shared->result = BlockingHttpDownload(copy, shared->call); },
      bounds);
  if (end != NetworkWaitEnd::kDone) return AbandonedResult(*shared, end, request);
  if (shared->call.failure) std::rethrow_exception(shared->call.failure);
  return std::move(shared->result);
}

}  // namespace qv::setup
