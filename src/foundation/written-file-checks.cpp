#include "foundation/written-file-checks.h"

#include <stdexcept>
#include <system_error>
#include <utility>

namespace qv::setup {

WrittenFileChecks::~WrittenFileChecks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();  // a job it holds is finished first
}

std::exception_ptr WrittenFileChecks::Check(const Job& job) const {
  try {
    if (hasher_(job.path) != job.expected) throw std::runtime_error("Installer payload integrity check failed.");
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

void WrittenFileChecks::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return job_waiting_ || stopping_; });
    if (!job_waiting_) return;  // stopping, and nothing left to check
    job_waiting_ = false;
    const Job job = std::move(job_);
    lock.unlock();
    std::exception_ptr failure = Check(job);
    lock.lock();
    failure_ = std::move(failure);
    job_done_ = true;
    changed_.notify_all();
  }
}

void WrittenFileChecks::Start(std::filesystem::path path, std::string expected, InstalledFile record) {
  Finish();
  Job job{std::move(path), std::move(expected)};
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No second thread to be had: the check runs here, as it always could.
      if (std::exception_ptr failure = Check(job)) std::rethrow_exception(failure);
      installed_.push_back(std::move(record));
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    job_waiting_ = true;
    job_done_ = false;
    failure_ = nullptr;
    in_flight_ = true;
  }
  pending_record_ = std::move(record);
  changed_.notify_all();
}

void WrittenFileChecks::Finish() {
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!in_flight_) return;
    changed_.wait(lock, [this] { return job_done_; });
    in_flight_ = false;
    failure = std::move(failure_);
  }
  if (failure) std::rethrow_exception(failure);
  installed_.push_back(std::move(pending_record_));
}

}  // namespace qv::setup
