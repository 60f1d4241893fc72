#pragma once
// The changed files of an update fetched by HTTP range requests straight out
// of the release's setup file: the signed manifest gives every file's zlib
// stream position and length there. Neighbouring streams share one request;
// the streams are inflated while they arrive, into the target folder, and
// every file is checked against its SHA-256 (a mismatching file is fetched
// once more).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "update/signed-manifest.h"

namespace qv::setup {

// What FetchRanges did.
struct RangeFetch {
  std::uint64_t bytes = 0;     // bytes received over all range answers, those of answers not taken too
  std::uint32_t requests = 0;  // range requests made, retries included
  bool failed = false;         // the server answered a range request whole or with another part
  std::string reason;          // why it failed: the HTTP client's text for that answer
};

// How long one range request may wait for the server in each of its phases.
inline constexpr std::uint32_t kRangeGroupTimeoutMs = 30000;

// Streams less than this far apart (bytes between the end of one and the
// start of the next) share one request; the gap is fetched and thrown away.
inline constexpr std::uint64_t kRangeJoinDistance = 0x40000;

// Writes every entry's file at SafePayloadPath(folder, path), checked with
// `hasher` against its sha256. `url` is the setup file's address; every hop
// must pass IsAllowedDownloadUrl. `file_size`, when not 0, is the setup
// file's whole size, which every answer's Content-Range must name. Returns
// with `failed` set (and what was written left in place) when the server does
// not serve parts of the file, or answers another part than the one asked for.
// Raises std::runtime_error:
//   "Installation cancelled." (CancelHook);
//   "The download of the changed files failed: <reason>." (a network failure
//     or an incomplete answer on both attempts, damaged data, an unsafe path);
//   "The downloaded <path> does not match the signed manifest (SHA-256).
//     Nothing was changed." (still different after the second fetch).
// Raises ProgressCounters by every unpacked byte (never past the total).
RangeFetch FetchRanges(const std::string& url, const std::vector<qv::update::FileEntry>& entries,
                       const std::filesystem::path& folder, const FileHasher& hasher,
                       std::uint32_t timeout_ms = kRangeGroupTimeoutMs, std::uint64_t file_size = 0);

}  // namespace qv::setup
