#pragma once
// The check of every file that payload extraction writes (the caller's hasher
// against the stored digest), run on a second thread so that it overlaps the
// inflating of the entries after it. Checks run one at a time, in entry order,
// from a queue bounded in files and bytes; a file whose check is still queued
// has been written completely and closed. Their outcome is taken in the
// extracting thread before anything of a later entry shows (a failure, a
// status line, the end of the extraction), and as soon as a check has failed,
// no later file is checked or extracted: what the caller sees, and in which
// order, is what checking each file in place gives.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/payload/payload-archive.h"

namespace qv::setup {

class WrittenFileChecks {
 public:
  // How far extraction may run ahead of the checks: files and bytes written
  // whose check has not finished. A single larger file is queued alone.
  static constexpr std::size_t kMaxPendingFiles = 256;
  static constexpr std::uint64_t kMaxPendingBytes = 64ull << 20;

  explicit WrittenFileChecks(const FileHasher& hasher) : hasher_(hasher) {}
  WrittenFileChecks(const WrittenFileChecks&) = delete;
  WrittenFileChecks& operator=(const WrittenFileChecks&) = delete;
  // Lets the check in progress end, drops the queued ones unchecked (their
  // outcome could no longer be reported) and ends the thread.
  ~WrittenFileChecks();

  // Queues the check of the `size` bytes written at `path` against
  // `expected`; `record` joins Installed() when it passes. Raises a failure
  // of an earlier check first (as Finish), and waits while the queue is full.
  void Start(std::filesystem::path path, std::string expected, InstalledFile record, std::uint64_t size);

  // Raises the failure of a check that has already failed (as Finish would);
  // never waits.
  void RaiseFailure();

  // Waits until every queued check has run and takes the outcome: the hasher's
  // exception of the first failing check is raised again unchanged, or
  // "Installer payload integrity check failed." for a digest that differs.
  void Finish();

  // The records of the files that passed, in entry order. Complete after
  // Finish.
  std::vector<InstalledFile>& Installed() { return installed_; }

 private:
  struct Job {
    std::filesystem::path path;
    std::string expected;
    InstalledFile record;
    std::uint64_t size = 0;
  };

  void Work();
  // The check itself: empty when the file matches, else the failure.
  std::exception_ptr Check(const Job& job) const;
  // Holding `mutex_`: whether another job fits beside those pending.
  bool HasRoomFor(std::uint64_t size) const;

  const FileHasher& hasher_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread worker_;          // started with the first check
  std::deque<Job> queue_;       // waiting, in entry order
  std::size_t pending_files_ = 0;   // queued or being checked
  std::uint64_t pending_bytes_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;  // of the first failing check; later jobs are dropped
  std::vector<InstalledFile> installed_;
};

}  // namespace qv::setup
