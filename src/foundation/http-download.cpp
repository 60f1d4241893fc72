#include <string>
#include <vector>

#include "foundation/http-client.h"
#include "foundation/text.h"
#include "foundation/winhttp-exchange.h"

namespace qv::setup {
namespace {

constexpr int kMaxRedirects = 5;
constexpr DWORD kDownloadPathCapacity = 4096;
constexpr DWORD kLocationCapacityBytes = 8192;
constexpr DWORD kLengthCapacityBytes = 64;
constexpr DWORD kPieceSize = 256 * 1024;

DownloadResult& Fail(DownloadResult& result, std::string error) {
  result.ok = false;
  result.error = std::move(error);
  return result;
}

std::string ErrorSuffix(DWORD error) { return " (error " + std::to_string(error) + ")"; }

// Streams the body of an accepted response into the sink.
DownloadResult& ReceiveBody(HINTERNET http, const DownloadRequest& request, DownloadResult& result) {
  std::uint64_t total = 0;  // unknown
  if (auto length = QueryHeaderText(http, WINHTTP_QUERY_CONTENT_LENGTH, kLengthCapacityBytes)) {
    total = ParseHeaderNumber(*length);
  }
  if (total > request.max_bytes) return Fail(result, "the file is larger than expected");

  std::vector<char> buffer(kPieceSize);
  if (request.progress) request.progress(0, total);
  for (;;) {
    if (request.cancelled && request.cancelled()) return Fail(result, "cancelled");
    DWORD read = 0;
    if (!::WinHttpReadData(http, buffer.data(), kPieceSize, &read)) {
      return Fail(result, "the download stopped" + ErrorSuffix(LastWinHttpError()));
    }
    if (read == 0) {
      if (total != 0 && result.bytes != total) return Fail(result, "the download is incomplete");
      result.ok = true;
      return result;
    }
    if (read > request.max_bytes - result.bytes) return Fail(result, "the file is larger than expected");
    if (request.sink && !request.sink(buffer.data(), read)) return Fail(result, "could not store the download");
    result.bytes += read;
    if (request.progress) request.progress(result.bytes, total);
  }
}

}  // namespace

DownloadResult HttpDownload(const DownloadRequest& request) {
  DownloadResult result;
  std::string current = request.url;
  for (int hop = 0;; ++hop) {
    if (hop > kMaxRedirects) return Fail(result, "too many redirects");
    if (!request.allow_url || !request.allow_url(current)) {
      return Fail(result, "refused address " + UrlScheme(current) + "://" + UrlHost(current));
    }
    std::optional<SplitAddress> address = SplitHttpAddress(Utf8ToWide(current), kDownloadPathCapacity);
    if (!address) return Fail(result, "invalid address");

    // One session per hop; all three handles close when the hop ends, however it ends.
    WinHttpExchange exchange;
    exchange.session = OpenSession(request.timeout_ms);
    if (!exchange.session) return Fail(result, "no network");
    if (!OpenGetRequest(exchange, *address, request.timeout_ms)) return Fail(result, "could not connect");
    HINTERNET http = exchange.request.get();
    DisableRedirects(http);

    std::wstring headers = request.range.empty() ? std::wstring() : L"Range: " + Utf8ToWide(request.range) + L"\r\n";
    if (!::WinHttpSendRequest(http, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                              headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(http, nullptr)) {
      DWORD error = LastWinHttpError();
      return Fail(result, "no answer from " + UrlHost(current) + ErrorSuffix(error));
    }

    std::optional<std::uint32_t> status = QueryStatusCode(http);
    if (!status) return Fail(result, "invalid answer");
    result.status = *status;

    if (IsRedirectStatus(*status)) {
      std::optional<std::wstring> location = QueryHeaderText(http, WINHTTP_QUERY_LOCATION, kLocationCapacityBytes);
      if (!location) return Fail(result, "redirect without a target");
      std::string next = ResolveRedirect(current, WideToUtf8(*location));
      if (next.empty()) return Fail(result, "invalid redirect");
      current = std::move(next);
      continue;
    }

    if (*status == 200 && !request.range.empty()) {
      result.range_ignored = true;
      return Fail(result, UrlHost(current) + " does not serve parts of a file");
    }
    std::uint32_t expected = request.range.empty() ? 200 : 206;
    if (*status != expected) return Fail(result, "HTTP " + std::to_string(*status) + " from " + UrlHost(current));

    result.final_url = current;
    return ReceiveBody(http, request, result);
  }
}

}  // namespace qv::setup
