#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/net/blocking-http-download.h"
#include "foundation/net/byte-range.h"
#include "foundation/net/handshake-check.h"
#include "foundation/net/http-client.h"
#include "foundation/net/winhttp-exchange.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;
constexpr DWORD kDownloadPathCapacity = 4096;
constexpr DWORD kLocationCapacityBytes = 8192;
constexpr DWORD kLengthCapacityBytes = 64;
constexpr DWORD kContentRangeCapacityBytes = 256;
constexpr DWORD kPieceSize = 256 * 1024;

DownloadResult& Fail(DownloadResult& result, std::string error) {
  result.ok = false;
  result.error = std::move(error);
  return result;
}

std::string HeadersTooLargeText(const std::string& url) {
  return "the headers from " + UrlHostForMessage(url) + " are larger than 64 KiB";
}

// A failure that a retry would only meet again.
DownloadResult& FailLasting(DownloadResult& result, std::string error) {
  result.lasting = true;
  return Fail(result, std::move(error));
}

DownloadResult& FailTooLarge(DownloadResult& result) {
  result.too_large = true;
  return Fail(result, "the file is larger than expected");
}

std::string ErrorSuffix(DWORD error) { return " (error " + std::to_string(error) + ")"; }

std::string Seconds(std::uint32_t ms) { return std::to_string((ms + 999) / 1000) + " seconds"; }

// The time bounds of one download: the caller's overall deadline and the
// smallest amount of body that must arrive in every window.
struct Pace {
  const DownloadRequest& request;
  Clock::time_point start = Clock::now();
  Clock::time_point window_start = start;
  std::uint64_t window_bytes = 0;

  bool DeadlinePassed() const {
    return request.deadline_ms != 0 && Clock::now() - start >= std::chrono::milliseconds(request.deadline_ms);
  }

  // The time-outs of the next request: never beyond what the deadline leaves.
  std::uint32_t TimeoutMs() const {
    if (request.deadline_ms == 0) return request.timeout_ms;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const std::uint64_t left = spent >= request.deadline_ms ? 1 : request.deadline_ms - spent;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(request.timeout_ms, left));
  }

  void BodyBegins() {
    window_start = Clock::now();
    window_bytes = 0;
  }

  // Counts a piece; false when a whole window passed with too little.
  bool Received(std::uint64_t bytes) {
    window_bytes += bytes;
    if (request.slow_window_ms == 0) return true;
    const Clock::time_point now = Clock::now();
    if (now - window_start < std::chrono::milliseconds(request.slow_window_ms)) return true;
    if (window_bytes < request.slow_floor_bytes) return false;
    window_start = now;
    window_bytes = 0;
    return true;
  }
};

std::string TooSlowText(const std::string& url) { return "the server " + UrlHostForMessage(url) + " is too slow"; }

std::string NoAnswerText(const std::string& url, DWORD error) {
  return "no answer from " + UrlHostForMessage(url) + ErrorSuffix(error);
}

// The failure of a request that got no answer, as a sentence. A failed
// secure exchange alone does not tell a refused certificate or a server of
// outdated TLS, which a retry would only meet again, from a handshake broken
// off (Wine reports them all so), which a retry may well get through: the
// server is asked with handshakes of our own then.
DownloadResult& FailUnanswered(DownloadResult& result, DWORD error, NetworkCall& call, const SplitAddress& address,
                               const std::string& url, std::uint32_t timeout_ms) {
  const std::string host = UrlHostForMessage(url);
  HandshakeFault fault;
  fault.refused_certificate = CertificateErrorReason(error);
  if (!fault.refused_certificate && MayBeCertificateRefusal(error)) {
    const AwaitedHeaders awaited(call, url, timeout_ms);
    fault = FindHandshakeFault(address, timeout_ms);
  }
  if (fault.refused_certificate) {
    return FailLasting(result, "the certificate of " + host + " was refused (" + *fault.refused_certificate + ")");
  }
  if (fault.outdated_tls) return FailLasting(result, host + " speaks no TLS version newer than 1.1");
  return Fail(result, NoAnswerText(url, error));
}

DownloadResult& FailDeadline(DownloadResult& result, const DownloadRequest& request, const std::string& url) {
  return Fail(result, DeadlineText(url, request.deadline_ms));
}

// Streams the body of an accepted response into the sink, one piece as soon
// as it has arrived: a server that sends slowly never holds a read (and the
// cancel check behind it) until a whole buffer is full.
DownloadResult& ReceiveBody(HINTERNET http, const DownloadRequest& request, const std::string& url, Pace& pace,
                            DownloadResult& result) {
  std::uint64_t total = 0;  // unknown
  if (auto length = QueryHeaderText(http, WINHTTP_QUERY_CONTENT_LENGTH, kLengthCapacityBytes)) {
    total = ParseHeaderNumber(*length);
  }
  if (total > request.max_bytes) return FailTooLarge(result);

  std::vector<char> buffer(kPieceSize);
  if (request.progress) request.progress(0, total);
  pace.BodyBegins();
  for (;;) {
    if (request.cancelled && request.cancelled()) return Fail(result, "cancelled");
    if (pace.DeadlinePassed()) return FailDeadline(result, request, url);
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(http, &available)) {
      return Fail(result, "the download stopped" + ErrorSuffix(LastWinHttpError()));
    }
    // The wait may have been long: a cancel that came meanwhile goes first.
    if (request.cancelled && request.cancelled()) return Fail(result, "cancelled");
    DWORD read = 0;
    if (available != 0 &&
        !::WinHttpReadData(http, buffer.data(), std::min<DWORD>(available, kPieceSize), &read)) {
      return Fail(result, "the download stopped" + ErrorSuffix(LastWinHttpError()));
    }
    if (read == 0) {
      if (total != 0 && result.bytes != total) return Fail(result, "the download is incomplete");
      result.ok = true;
      return result;
    }
    if (read > request.max_bytes - result.bytes) return FailTooLarge(result);
    if (request.sink && !request.sink(buffer.data(), read)) return Fail(result, "could not store the download");
    result.bytes += read;
    if (request.progress) request.progress(result.bytes, total);
    if (!pace.Received(read)) {
      return Fail(result, TooSlowText(url) + " (less than " + std::to_string(request.slow_floor_bytes) +
                              " bytes in " + Seconds(request.slow_window_ms) + ")");
    }
  }
}

// An answer that is not taken (a range answered with the whole file or with
// another part): what of its body has arrived already is read, at most one
// piece, and dropped. Those bytes came over the network all the same, and the
// figures of what a download took count them.
DownloadResult& DropAnswer(HINTERNET http, DownloadResult& result, std::string error) {
  result.range_ignored = true;
  DWORD available = 0;
  if (::WinHttpQueryDataAvailable(http, &available) && available != 0) {
    std::vector<char> buffer(std::min<DWORD>(available, kPieceSize));
    DWORD read = 0;
    if (::WinHttpReadData(http, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) result.dropped_bytes = read;
  }
  return Fail(result, std::move(error));
}

}  // namespace

std::string HeadersLateText(const std::string& url) { return NoAnswerText(url, ERROR_WINHTTP_TIMEOUT); }

std::string DeadlineText(const std::string& url, std::uint32_t deadline_ms) {
  return TooSlowText(url) + " (no complete answer within " + Seconds(deadline_ms) + ")";
}

DownloadResult BlockingHttpDownload(const DownloadRequest& request, NetworkCall& call) {
  DownloadResult result;
  Pace pace{request};
  std::string current = request.url;
  for (int hop = 0;; ++hop) {
    if (hop > kMaxRedirects) return Fail(result, "too many redirects");
    if (!request.allow_url || !request.allow_url(current)) {
      return FailLasting(result, "refused address " + UrlScheme(current) + "://" + UrlHostForMessage(current));
    }
    std::optional<SplitAddress> address = SplitHttpAddress(Utf8ToWide(current), kDownloadPathCapacity);
    if (!address) return Fail(result, "invalid address");
    if (pace.DeadlinePassed()) return FailDeadline(result, request, current);

    // One session per hop; all three handles close when the hop ends, however it ends.
    const std::uint32_t timeout_ms = pace.TimeoutMs();
    WinHttpExchange exchange;
    exchange.session = OpenSession(timeout_ms);
    if (!exchange.session) return Fail(result, "no network");
    if (!OpenGetRequest(exchange, *address, timeout_ms)) return Fail(result, "could not connect");
    HINTERNET http = exchange.request.get();
    DisableRedirects(http);

    std::wstring headers = request.range.empty() ? std::wstring() : L"Range: " + Utf8ToWide(request.range) + L"\r\n";
    bool answered = false;
    {
      const AwaitedHeaders awaited(call, current, timeout_ms);
      answered = ::WinHttpSendRequest(http, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                      headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0,
                                      0) &&
                 ::WinHttpReceiveResponse(http, nullptr);
    }
    if (!answered) {
      DWORD error = LastWinHttpError();
      if (error == ERROR_WINHTTP_TIMEOUT && pace.DeadlinePassed()) return FailDeadline(result, request, current);
      if (error == ERROR_WINHTTP_HEADER_SIZE_OVERFLOW) return FailLasting(result, HeadersTooLargeText(current));
      return FailUnanswered(result, error, call, *address, current, timeout_ms);
    }
    if (HeadersTooLarge(http)) return FailLasting(result, HeadersTooLargeText(current));

    std::optional<std::uint32_t> status = QueryStatusCode(http);
    if (!status) return Fail(result, "invalid answer");
    result.status = *status;
    call.AnswerStatus(*status);

    if (IsRedirectStatus(*status)) {
      std::optional<std::wstring> location = QueryHeaderText(http, WINHTTP_QUERY_LOCATION, kLocationCapacityBytes);
      if (!location) return Fail(result, "redirect without a target");
      const std::string target = WideToUtf8(*location);
      std::string next = ResolveRedirect(current, target);
      // Another scheme, or a path relative to the current folder: the server
      // would only say the same again.
      if (next.empty()) return FailLasting(result, "invalid redirect to " + UrlForMessage(target));
      current = std::move(next);
      continue;
    }

    if (*status == 200 && !request.range.empty()) {
      return DropAnswer(http, result, UrlHostForMessage(current) + " does not serve parts of a file");
    }
    std::uint32_t expected = request.range.empty() ? 200 : 206;
    if (*status != expected) {
      return Fail(result, "HTTP " + std::to_string(*status) + " from " + UrlHostForMessage(current));
    }
    if (!request.range.empty()) {
      // Bytes of another part would only show as damaged data much later.
      std::optional<std::wstring> answered =
          QueryHeaderText(http, WINHTTP_QUERY_CONTENT_RANGE, kContentRangeCapacityBytes);
      std::optional<std::string> answered_text;
      if (answered) answered_text = WideToUtf8(*answered);
      if (!AnswersRange(request.range, answered_text, request.range_total)) {
        return DropAnswer(http, result,
                          UrlHostForMessage(current) + " answered another part of the file than the one asked for");
      }
    }

    result.final_url = current;
    return ReceiveBody(http, request, current, pace, result);
  }
}

}  // namespace qv::setup
