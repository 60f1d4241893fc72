#include "foundation/files/written-file-checks.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace qv::setup {

WrittenFileChecks::~WrittenFileChecks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();  // a check in progress ends first
}

std::exception_ptr WrittenFileChecks::Check(const Job& job) const {
  try {
    if (hasher_(job.path) != job.expected) throw std::runtime_error("Installer payload integrity check failed.");
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

bool WrittenFileChecks::HasRoomFor(std::uint64_t size) const {
  if (pending_files_ == 0) return true;
  return pending_files_ < kMaxPendingFiles && size <= kMaxPendingBytes - std::min(pending_bytes_, kMaxPendingBytes);
}

void WrittenFileChecks::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    std::exception_ptr failure = Check(job);
    lock.lock();
    --pending_files_;
    pending_bytes_ -= job.size;
    if (failure) {
      // The first failure ends the checking: no later file is checked, as
      // none would have been written after it.
      failure_ = std::move(failure);
      for (const Job& dropped : queue_) pending_bytes_ -= dropped.size;
      pending_files_ -= queue_.size();
      queue_.clear();
    } else {
      installed_.push_back(std::move(job.record));
    }
    changed_.notify_all();
  }
}

void WrittenFileChecks::Start(std::filesystem::path path, std::string expected, InstalledFile record,
                              std::uint64_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return failure_ || HasRoomFor(size); });
  if (failure_) std::rethrow_exception(failure_);
  Job job{std::move(path), std::move(expected), std::move(record), size};
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No second thread to be had: the check runs here, as it always could
      // (nothing is queued then, so entry order holds).
      lock.unlock();
      if (std::exception_ptr failure = Check(job)) std::rethrow_exception(failure);
      installed_.push_back(std::move(job.record));
      return;
    }
  }
  queue_.push_back(std::move(job));
  ++pending_files_;
  pending_bytes_ += size;
  changed_.notify_all();
}

void WrittenFileChecks::RaiseFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
}

void WrittenFileChecks::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_files_ == 0; });
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace qv::setup
