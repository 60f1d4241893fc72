// A download the caller can always cancel at once. WinHTTP's synchronous calls
// block for as long as the server keeps silent: a server that sends a byte
// every few seconds holds each read that long, and one that delays its
// headers holds the request. So a cancellable download runs on a thread of
// its own while the caller's thread asks the cancel callable every 100 ms. On
// a Cancel the caller's thread returns at once; the download thread is left
// to end by itself when its blocked call returns (the next byte, or the
// request's time-out), and from that moment it calls none of the caller's
// callables again and hands nothing on.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/blocking-http-download.h"
#include "foundation/http-client.h"

namespace qv::setup {
namespace {

constexpr std::chrono::milliseconds kCancelPoll{100};

// What the caller's thread and the download thread share. Every call of a
// caller's callable is made under `mutex`, so the callables are never called
// by two threads at once, and never once the caller has gone.
struct SharedDownload {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;       // the download thread has its result
  bool abandoned = false;  // the caller cancelled and returned
  DownloadResult result;
  std::exception_ptr failure;  // thrown by one of the caller's callables
  std::uint64_t bytes = 0;     // accepted by the caller's sink so far
};

// The request as the download thread runs it: each callable checks, under
// the shared lock, that the caller is still there.
DownloadRequest GuardedCopy(const DownloadRequest& request, const std::shared_ptr<SharedDownload>& shared) {
  DownloadRequest copy = request;
  if (request.allow_url) {
    copy.allow_url = [shared, allow = request.allow_url](const std::string& url) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      return !shared->abandoned && allow(url);
    };
  }
  if (request.sink) {
    copy.sink = [shared, sink = request.sink](const char* data, std::uint64_t size) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (shared->abandoned || !sink(data, size)) return false;
      shared->bytes += size;
      return true;
    };
  } else {
    copy.sink = [shared](const char*, std::uint64_t size) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->bytes += size;
      return !shared->abandoned;
    };
  }
  if (request.progress) {
    copy.progress = [shared, progress = request.progress](std::uint64_t done, std::uint64_t total) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (!shared->abandoned) progress(done, total);
    };
  }
  copy.cancelled = [shared, cancelled = request.cancelled] {
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->abandoned || cancelled();
  };
  return copy;
}

}  // namespace

DownloadResult HttpDownload(const DownloadRequest& request) {
  if (!request.cancelled) return BlockingHttpDownload(request);

  auto shared = std::make_shared<SharedDownload>();
  std::thread worker([shared, copy = GuardedCopy(request, shared)] {
    DownloadResult result;
    std::exception_ptr failure;
    try {
      result = BlockingHttpDownload(copy);
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result = std::move(result);
    shared->failure = failure;
    shared->done = true;
    shared->ended.notify_all();
  });

  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    if (shared->ended.wait_for(lock, kCancelPoll, [&] { return shared->done; })) break;
    // Asked under the lock, so never while the download thread calls a callable.
    if (request.cancelled()) {
      shared->abandoned = true;
      worker.detach();
      DownloadResult result;
      result.error = "cancelled";
      result.bytes = shared->bytes;
      return result;
    }
  }
  lock.unlock();
  worker.join();
  if (shared->failure) std::rethrow_exception(shared->failure);
  return shared->result;
}

}  // namespace qv::setup
