#pragma once
// A blocking network call run on a thread of its own while the caller's
// thread waits for it and bounds what WinHTTP's synchronous calls cannot: a
// Cancel, the wait for an answer's status line and headers (WinHTTP restarts
// its time-out with every byte of them, so a server that drips them, or sends
// megabytes of them, holds a call for as long as it likes), and the deadline
// of the whole call. When one of them ends the wait, the caller's thread
// returns at once and the call is left to end by itself when its blocked
// WinHTTP call returns; from then on it hands nothing on (whatever it shares
// with the caller goes through its NetworkCall, under the lock).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qv::setup {

using NetworkClock = std::chrono::steady_clock;

// What the call's thread and the waiting thread share; both touch it only
// under `mutex`.
struct NetworkCall {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;           // the call has its result
  bool abandoned = false;      // the waiting thread gave up on it and returned
  std::exception_ptr failure;  // what the call threw

  // Reported by the call as it goes: the address being asked, when the
  // answer's status line and headers must be in (max() while none is
  // awaited) and the status of the last answer (0: none came).
  std::string url;
  NetworkClock::time_point headers_due = NetworkClock::time_point::max();
  std::uint32_t status = 0;

  // The request for `address` goes out now; its headers are due within `timeout_ms`.
  void AwaitHeaders(const std::string& address, std::uint32_t timeout_ms);
  // The wait for the headers ended, however it ended.
  void HeadersEnded();
  void AnswerStatus(std::uint32_t answer_status);
  // True once the waiting thread has returned without the call's result.
  bool Abandoned();
};

// While it lives, the call waits for an answer's headers.
struct AwaitedHeaders {
  AwaitedHeaders(NetworkCall& awaiting, const std::string& address, std::uint32_t timeout_ms) : call(awaiting) {
    call.AwaitHeaders(address, timeout_ms);
  }
  ~AwaitedHeaders() { call.HeadersEnded(); }
  AwaitedHeaders(const AwaitedHeaders&) = delete;
  AwaitedHeaders& operator=(const AwaitedHeaders&) = delete;

  NetworkCall& call;
};

// Why the wait for a call ended.
enum class NetworkWaitEnd { kDone, kCancelled, kDeadlinePassed, kHeadersLate };

// Now plus `deadline_ms`; max() (no deadline) for 0.
NetworkClock::time_point DeadlineAfter(std::uint32_t deadline_ms);

struct NetworkWaitBounds {
  // When the whole call must be done; max(): no bound but the headers'.
  NetworkClock::time_point deadline = NetworkClock::time_point::max();
  // Asked every 100 ms, under the call's lock (so never while the call's
  // thread calls one of the caller's callables); empty: never cancelled.
  std::function<bool()> cancelled;
};

// Runs `work` on a thread of its own and waits for it, checking the bounds
// every 100 ms: a Cancel first, then the deadline, then the headers the call
// awaits. kDone: the thread has ended and been joined (what `work` threw is in
// `call->failure`). Any other end: the call is marked abandoned and its thread
// left to end by itself. An exception thrown by `cancelled` abandons the call
// the same way and then passes through.
NetworkWaitEnd RunNetworkCall(const std::shared_ptr<NetworkCall>& call, std::function<void()> work,
                              const NetworkWaitBounds& bounds);

}  // namespace qv::setup
