#include "update/manifest-fetch.h"

#include <cstring>

#include "foundation/net/http-client.h"
#include "update/download-policy.h"

namespace qv::update {
namespace {

constexpr std::uint32_t kRangeTimeoutMs = 10000;
constexpr std::uint64_t kSignatureBytes = 64;

// The file's name for messages: the address after its last '/'.
std::string FileNameOf(const std::string& url) {
  const std::size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

// Fetches byte ranges of one release's setup file. The address it holds
// starts as the release's and becomes the final address of the first answer
// after redirects, so later requests go straight there.
struct PackageRangeReader {
  std::string url;
  std::string* error = nullptr;
  bool* ranges_unsupported = nullptr;
  const std::function<bool()>& cancelled;

  void Fail(const std::string& reason) const {
    if (error != nullptr) *error = "could not read the end of " + FileNameOf(url) + ": " + reason;
  }

  // Appends bytes `from` to `to` (inclusive) to `out`; true only when exactly
  // those bytes arrived.
  bool FetchPackageRange(std::uint64_t from, std::uint64_t to, std::string& out) {
    const std::uint64_t wanted = to - from + 1;
    const std::size_t before = out.size();
    qv::setup::DownloadRequest request;
    request.url = url;
    request.timeout_ms = kRangeTimeoutMs;
    request.deadline_ms = kManifestRequestDeadlineMs;
    request.max_bytes = wanted;
    request.range = "bytes=" + std::to_string(from) + "-" + std::to_string(to);
    request.cancelled = cancelled;
    request.allow_url = IsAllowedDownloadUrl;
    request.sink = [&out](const char* data, std::uint64_t size) {  // CollectManifestBytes
      out.append(data, static_cast<std::size_t>(size));
      return true;
    };
    const qv::setup::DownloadResult result = qv::setup::HttpDownload(request);
    if (result.range_ignored && ranges_unsupported != nullptr) *ranges_unsupported = true;
    if (!result.ok) {
      Fail(result.error);
      return false;
    }
    if (!result.final_url.empty()) url = result.final_url;
    const std::uint64_t received = out.size() - before;
    if (received != wanted) {
      // A 206 cut short at the file's end, or a body without a length that
      // stopped early: the client saw nothing wrong, but these are not the bytes asked for.
      Fail("the server sent " + std::to_string(received) + " of the " + std::to_string(wanted) + " bytes asked for");
      return false;
    }
    return true;
  }
};

}  // namespace

std::optional<qv::setup::SignedTrailer> ReadFetchedTrailer(std::string_view bytes, std::uint64_t package_size) {
  unsigned char trailer[qv::setup::kSignedTrailerSize];
  if (bytes.size() != sizeof trailer) return std::nullopt;
  std::memcpy(trailer, bytes.data(), sizeof trailer);
  return qv::setup::ParseSignedTrailer(trailer, package_size);
}

std::optional<UpdateManifest> FetchSignedManifest(const Release& release, std::string* error,
                                                  bool* rangesUnsupported, const std::function<bool()>& cancelled) {
  if (rangesUnsupported != nullptr) *rangesUnsupported = false;
  if (release.package_url.empty() || release.package_size < qv::setup::kSignedTrailerSize) {
    if (error != nullptr) *error = "the release has no package for this system";
    return std::nullopt;
  }
  // The file's size comes from the unsigned release document here: the
  // answers' Content-Range is held to the range asked, not to that size.
  PackageRangeReader reader{release.package_url, error, rangesUnsupported, cancelled};

  std::string trailer_bytes;
  const std::uint64_t trailer_start = release.package_size - qv::setup::kSignedTrailerSize;
  if (!reader.FetchPackageRange(trailer_start, release.package_size - 1, trailer_bytes)) return std::nullopt;
  std::optional<qv::setup::SignedTrailer> trailer = ReadFetchedTrailer(trailer_bytes, release.package_size);
  if (!trailer) {
    if (error != nullptr) *error = "the package carries no signed update manifest";
    return std::nullopt;
  }

  // Manifest and signature lie back to back: one request for both.
  std::string overlay;
  if (!reader.FetchPackageRange(trailer->manifest_offset, trailer->signature_offset + kSignatureBytes - 1, overlay)) {
    return std::nullopt;
  }
  const std::string_view manifest = std::string_view(overlay).substr(0, trailer->manifest_length);
  const std::string_view signature = std::string_view(overlay).substr(trailer->manifest_length);
  return CheckManifestAgainstRelease(release, manifest, signature, trailer->manifest_offset, error);
}

}  // namespace qv::update
