#include "foundation/hooks.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace qv::setup {

std::function<void(const std::string&)> LogLineHook;
std::function<bool()> CancelHook;
std::function<void(std::uint64_t, std::uint64_t)> ProgressHook;
ProgressCountersRecord ProgressCounters;

void SendLogLine(const std::string& line) {
  if (LogLineHook) LogLineHook(line);
}

bool IsCancelRequested() {
  // Asked from more than one thread at a time (payload extraction checks the
  // written files on a second thread): the hook itself is asked by one thread
  // at a time.
  static std::mutex asking;
  std::lock_guard<std::mutex> lock(asking);
  return CancelHook && CancelHook();
}

void ThrowIfCancelled() {
  if (IsCancelRequested()) throw std::runtime_error(kCancelledMessage);
}

void ResetProgress(std::uint64_t planned_total) {
  ProgressCounters.done = 0;
  ProgressCounters.total = planned_total;
  if (ProgressHook) ProgressHook(0, planned_total);
}

void RaiseProgressTo(std::uint64_t candidate) {
  std::uint64_t next = std::min(std::max(ProgressCounters.done, candidate), ProgressCounters.total);
  if (next == ProgressCounters.done) return;
  ProgressCounters.done = next;
  if (ProgressHook) ProgressHook(ProgressCounters.done, ProgressCounters.total);
}

void AddProgress(std::uint64_t bytes) { RaiseProgressTo(ProgressCounters.done + bytes); }

void CompleteProgress() { RaiseProgressTo(ProgressCounters.total); }

}  // namespace qv::setup
