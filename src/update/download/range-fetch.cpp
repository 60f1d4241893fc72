#include "update/download/range-fetch.h"

#include <exception>
#include <stdexcept>

#include "foundation/hooks.h"
#include "foundation/payload/payload-archive.h"
#include "update/download/download-requests.h"
#include "update/download/range-groups.h"
#include "update/download/range-unpacker.h"

namespace qv::setup {
namespace {

using qv::update::FileEntry;
using EntryList = std::vector<const FileEntry*>;

[[noreturn]] void FailDownload(const std::string& reason) {
  throw std::runtime_error("The download of the changed files failed: " + reason + ".");
}

// One FetchRanges call: where the setup file is asked for and what was done.
struct RangeSession {
  const std::string& given_url;
  std::string current_url;  // follows the redirects of the last successful group
  const std::filesystem::path& folder;
  std::uint32_t timeout_ms;
  std::uint64_t file_size;
  RangeFetch fetch;
};

// Fetches the entries' streams group by group into the folder. False when the
// server answered a range request with the whole file; raises on failure.
bool FetchRangeGroups(RangeSession& session, const EntryList& list) {
  for (const RangeGroup& group : PlanRangeGroups(list)) {
    for (int attempt = 1;; ++attempt) {
      ThrowIfCancelled();
      RangeUnpacker unpacker(session.folder, group.entries, group.start);
      DownloadRequest request = ReleaseFileRequest(session.current_url, session.timeout_ms, group.end - group.start);
      request.range = RangeHeaderOf(group);
      request.range_total = session.file_size;
      request.sink = [&unpacker](const char* data, std::uint64_t size) { return unpacker.Write(data, size); };
      const DownloadResult result = HttpDownload(request);
      ++session.fetch.requests;
      session.fetch.bytes += result.bytes + result.dropped_bytes;

      if (result.range_ignored) {
        session.fetch.failed = true;
        session.fetch.reason = result.error;
        return false;
      }
      if (unpacker.error().empty() && result.ok && unpacker.Complete()) {
        // A redirect is taken once: the next groups go where it led.
        if (!result.final_url.empty()) session.current_url = result.final_url;
        break;
      }
      // A cancel that ended the transfer is the user's, not the network's.
      ThrowIfCancelled();
      if (attempt == 1 && unpacker.error().empty() && !result.lasting) {
        // The network, or an answer cut short: once more, from the address
        // the caller gave (a redirect target may be what failed). A failure
        // that would only come back (headers too large, an address or a
        // certificate refused) would double the time to fail for nothing.
        session.current_url = session.given_url;
        continue;
      }
      if (!unpacker.error().empty()) FailDownload(unpacker.error());
      if (!result.error.empty()) FailDownload(result.error);
      // The answer ended in good order before the group did.
      FailDownload("the data of " + unpacker.FirstIncompletePath() + " is incomplete");
    }
  }
  return true;
}

// The entries (in list order) whose file does not hash to their sha256; a
// path that cannot be joined under the folder, or a file that cannot be
// hashed, counts as differing.
EntryList VerifyFetchedFiles(const std::filesystem::path& folder, const FileHasher& hasher, const EntryList& list) {
  EntryList differing;
  for (const FileEntry* entry : list) {
    std::string digest;
    try {
      digest = hasher(SafePayloadPath(folder, entry->path));
    } catch (const std::exception&) {
      digest.clear();
    }
    if (digest != entry->sha256) differing.push_back(entry);
  }
  ThrowIfCancelled();
  return differing;
}

}  // namespace

RangeFetch FetchRanges(const std::string& url, const std::vector<FileEntry>& entries,
                       const std::filesystem::path& folder, const FileHasher& hasher, std::uint32_t timeout_ms,
                       std::uint64_t file_size) {
  if (!hasher) throw std::invalid_argument("FetchRanges needs a hasher");
  EntryList all;
  for (const FileEntry& entry : entries) {
    // A stream of no bytes, or one reaching past the largest position, has no
    // range to ask for (a signed manifest never lists one; an index might).
    if (entry.packed == 0 || entry.offset + entry.packed < entry.offset) {
      FailDownload("the data of " + entry.path + " lies outside the setup file");
    }
    all.push_back(&entry);
  }

  RangeSession session{url, url, folder, timeout_ms, file_size, {}};
  if (!FetchRangeGroups(session, all)) return session.fetch;
  const EntryList differing = VerifyFetchedFiles(folder, hasher, all);
  if (differing.empty()) return session.fetch;

  // Arrived intact yet different: once more (a cache or proxy may have served
  // a stale copy), grouped anew.
  if (!FetchRangeGroups(session, differing)) return session.fetch;
  const EntryList still = VerifyFetchedFiles(folder, hasher, differing);
  if (!still.empty()) {
    throw std::runtime_error("The downloaded " + still.front()->path +
                             " does not match the signed manifest (SHA-256). Nothing was changed.");
  }
  return session.fetch;
}

}  // namespace qv::setup
