#pragma once
// The background check for a newer release: the setup window and the
// "--check-update" mode start it once and poll it. The check runs on a
// detached thread, never installs anything and never reports a failure: a
// failed check simply ends without a result.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "update/release-info.h"

namespace qv::update {

struct Checker {
  // Shared by the checker and its thread, so a thread that outlives the
  // window that started it touches nothing that is gone.
  struct State {
    std::mutex mutex;
    std::optional<Release> result;  // the newer release found; guarded by `mutex`
    std::atomic<bool> done{false};  // set once, after `result`
  };

  // Starts the check of ReleaseUrl() once; a later call does nothing. Returns
  // at once. Addresses that could only fail (not https, shorter than 8 bytes,
  // a reserved ".invalid" host) end the check here, without a thread.
  void Start(const std::filesystem::path& installFolder);
  // True once the check has ended; false before Start.
  bool Done() const;
  // A copy of the result; empty before Start. Read it once Done() is true.
  std::optional<Release> Result() const;

  std::shared_ptr<State> state;  // empty until Start
};

// The process-wide checker of the setup window and "--check-update".
Checker& TheUpdateChecker();

// What the check's thread owns.
struct CheckContext {
  std::shared_ptr<Checker::State> state;
  std::string url;                      // the release document
  std::filesystem::path install_folder;  // for the download estimate; may be empty
  std::uint32_t timeout_ms = 5000;      // every phase of the document request
  // The whole document, however the server paces it: well within the 10 s
  // that "--check-update" waits for the check.
  std::uint32_t deadline_ms = 8000;
};

// Largest release document read.
inline constexpr std::uint64_t kReleaseDocumentLimit = 524288;

// True when the address's host is empty, "invalid" or ends in ".invalid"
// (byte-exact): a name reserved never to resolve.
bool IsReservedInvalidHost(std::string_view url);

// The thread's body: fetches and reads the release document, keeps a newer
// release with what its signed manifest tells about the download, and sets
// `done` in every case.
void RunUpdateCheck(CheckContext context);

}  // namespace qv::update
