#include "foundation/net/network-call.h"

#include <thread>
#include <utility>

namespace qv::setup {
namespace {

constexpr std::chrono::milliseconds kPoll{100};

// Which bound the call has overstepped (kDone: none). Called under the lock.
NetworkWaitEnd Overstepped(const NetworkCall& call, const NetworkWaitBounds& bounds) {
  if (bounds.cancelled && bounds.cancelled()) return NetworkWaitEnd::kCancelled;
  const NetworkClock::time_point now = NetworkClock::now();
  if (now >= bounds.deadline) return NetworkWaitEnd::kDeadlinePassed;
  if (now >= call.headers_due) return NetworkWaitEnd::kHeadersLate;
  return NetworkWaitEnd::kDone;
}

}  // namespace

void NetworkCall::AwaitHeaders(const std::string& address, std::uint32_t timeout_ms) {
  std::lock_guard<std::mutex> lock(mutex);
  url = address;
  headers_due = NetworkClock::now() + std::chrono::milliseconds(timeout_ms);
}

void NetworkCall::HeadersEnded() {
  std::lock_guard<std::mutex> lock(mutex);
  headers_due = NetworkClock::time_point::max();
}

void NetworkCall::AnswerStatus(std::uint32_t answer_status) {
  std::lock_guard<std::mutex> lock(mutex);
  status = answer_status;
}

bool NetworkCall::Abandoned() {
  std::lock_guard<std::mutex> lock(mutex);
  return abandoned;
}

NetworkClock::time_point DeadlineAfter(std::uint32_t deadline_ms) {
  if (deadline_ms == 0) return NetworkClock::time_point::max();
  return NetworkClock::now() + std::chrono::milliseconds(deadline_ms);
}

NetworkWaitEnd RunNetworkCall(const std::shared_ptr<NetworkCall>& call, std::function<void()> work,
                              const NetworkWaitBounds& bounds) {
  std::thread worker([call, work = std::move(work)] {
    std::exception_ptr failure;
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(call->mutex);
    call->failure = failure;
    call->done = true;
    call->ended.notify_all();
  });

  std::unique_lock<std::mutex> lock(call->mutex);
  auto abandon = [&] {
    call->abandoned = true;
    lock.unlock();
    worker.detach();
  };
  NetworkWaitEnd end = NetworkWaitEnd::kDone;
  try {
    while (!call->ended.wait_for(lock, kPoll, [&] { return call->done; })) {
      end = Overstepped(*call, bounds);
      if (end != NetworkWaitEnd::kDone) break;
    }
  } catch (...) {
    // A joinable thread must not be destroyed: the call is left as for a Cancel.
    abandon();
    throw;
  }
  if (end != NetworkWaitEnd::kDone) {
    abandon();
    return end;
  }
  lock.unlock();
  worker.join();
  return end;
}

}  // namespace qv::setup
