#pragma once
// The check of every file that payload extraction writes (the caller's hasher
// against the stored digest), run on a second thread so that it overlaps the
// inflating of the next entry. At most one check is in flight, and its outcome
// is taken in the extracting thread, in entry order, before anything of the
// next entry shows (its status line, its failure, the end of the extraction):
// what the caller sees, and in which order, is what a check made in place
// would give.

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file-hash.h"
#include "foundation/payload-archive.h"

namespace qv::setup {

class WrittenFileChecks {
 public:
  explicit WrittenFileChecks(const FileHasher& hasher) : hasher_(hasher) {}
  WrittenFileChecks(const WrittenFileChecks&) = delete;
  WrittenFileChecks& operator=(const WrittenFileChecks&) = delete;
  // Waits for a check in flight (its outcome is dropped) and ends the thread.
  ~WrittenFileChecks();

  // Takes the outcome of the check in flight (Finish), then starts checking
  // the file at `path` against `expected`; `record` is added to Installed()
  // when it passes.
  void Start(std::filesystem::path path, std::string expected, InstalledFile record);

  // Waits for the check in flight, if any, and takes its outcome: the record
  // joins Installed(), or the hasher's exception is raised again unchanged,
  // or "Installer payload integrity check failed." for a digest that differs.
  void Finish();

  // The records of the files that passed, in entry order.
  std::vector<InstalledFile>& Installed() { return installed_; }

 private:
  struct Job {
    std::filesystem::path path;
    std::string expected;
  };

  void Work();
  // The check itself: empty when the file matches, else the failure.
  std::exception_ptr Check(const Job& job) const;

  const FileHasher& hasher_;
  std::vector<InstalledFile> installed_;
  InstalledFile pending_record_;  // of the check in flight; touched by the extracting thread only

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread worker_;       // started with the first check
  bool in_flight_ = false;   // a job was handed over and its outcome not taken yet
  bool job_waiting_ = false; // the worker has not picked the job up yet
  bool job_done_ = false;
  bool stopping_ = false;
  Job job_;
  std::exception_ptr failure_;
};

}  // namespace qv::setup
