#include <memory>
#include <string>
#include <utility>

#include "foundation/net/http-client.h"
#include "foundation/net/network-call.h"
#include "foundation/net/winhttp-exchange.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

constexpr DWORD kDocumentPathCapacity = 2048;
constexpr DWORD kLengthCapacityBytes = 64;
constexpr std::uint64_t kUnixEpochInFileTimeSeconds = 11644473600ull;

bool QueryAgeIsNotZero(HINTERNET http) {
  DWORD age = 0;
  DWORD size = sizeof age;
  return ::WinHttpQueryHeaders(http, WINHTTP_QUERY_CUSTOM | WINHTTP_QUERY_FLAG_NUMBER, L"Age", &age, &size,
                               WINHTTP_NO_HEADER_INDEX) &&
         age != 0;
}

// The Date header as seconds since 1970; empty when missing, unreadable or
// earlier than 1970 (which the unsigned count cannot hold).
std::optional<std::uint64_t> QueryDate(HINTERNET http) {
  SYSTEMTIME time{};
  DWORD size = sizeof time;
  FILETIME file_time{};
  if (!::WinHttpQueryHeaders(http, WINHTTP_QUERY_DATE | WINHTTP_QUERY_FLAG_SYSTEMTIME, WINHTTP_HEADER_NAME_BY_INDEX,
                             &time, &size, WINHTTP_NO_HEADER_INDEX) ||
      !::SystemTimeToFileTime(&time, &file_time)) {
    return std::nullopt;
  }
  std::uint64_t seconds =
      ((static_cast<std::uint64_t>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime) / 10000000ull;
  if (seconds < kUnixEpochInFileTimeSeconds) return std::nullopt;
  return seconds - kUnixEpochInFileTimeSeconds;
}

// Reads the whole body; empty when a read fails, the body outgrows the limit,
// it ends before the length the server announced or the caller stopped waiting.
std::optional<std::string> ReadWholeBody(HINTERNET http, std::uint64_t max_body, NetworkCall& call) {
  std::optional<std::uint64_t> announced;
  if (auto length = QueryHeaderText(http, WINHTTP_QUERY_CONTENT_LENGTH, kLengthCapacityBytes)) {
    announced = ParseHeaderNumber(*length);
    if (*announced > max_body) return std::nullopt;
  }
  std::string body;
  for (;;) {
    if (call.Abandoned()) return std::nullopt;
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(http, &available)) return std::nullopt;
    if (available == 0) break;
    if (available > max_body - body.size()) return std::nullopt;
    size_t old_size = body.size();
    body.resize(old_size + available);
    DWORD read = 0;
    if (!::WinHttpReadData(http, body.data() + old_size, available, &read)) return std::nullopt;
    body.resize(old_size + read);
  }
  if (announced && *announced != body.size()) return std::nullopt;
  return body;
}

// The fetch itself, on the calling thread, telling `call` when the headers are due.
std::optional<DocumentResponse> BlockingGetDocument(const DocumentRequest& request, NetworkCall& call) {
  std::optional<SplitAddress> address = SplitHttpAddress(Utf8ToWide(request.url), kDocumentPathCapacity);
  if (!address || !address->secure) return std::nullopt;

  WinHttpExchange exchange;
  exchange.session = OpenSession(request.timeout_ms);
  if (!exchange.session || !OpenGetRequest(exchange, *address, request.timeout_ms)) return std::nullopt;
  HINTERNET http = exchange.request.get();
  if (!request.follow_redirects) DisableRedirects(http);

  const wchar_t* headers = request.no_cache ? L"Cache-Control: no-cache\r\n" : WINHTTP_NO_ADDITIONAL_HEADERS;
  {
    // Redirects that WinHTTP follows itself happen inside this one wait.
    const AwaitedHeaders awaited(call, request.url, request.timeout_ms);
    if (!::WinHttpSendRequest(http, headers, request.no_cache ? static_cast<DWORD>(-1) : 0, WINHTTP_NO_REQUEST_DATA,
                              0, 0, 0) ||
        !::WinHttpReceiveResponse(http, nullptr)) {
      return std::nullopt;
    }
  }
  if (HeadersTooLarge(http)) return std::nullopt;

  std::optional<std::uint32_t> status = QueryStatusCode(http);
  if (!status) return std::nullopt;
  DocumentResponse response;
  response.status = *status;
  response.from_cache = QueryAgeIsNotZero(http);
  response.date = QueryDate(http);
  std::optional<std::string> body = ReadWholeBody(http, request.max_body, call);
  if (!body) return std::nullopt;
  response.body = std::move(*body);
  return response;
}

}  // namespace

std::optional<DocumentResponse> HttpsGetDocument(const DocumentRequest& request) {
  struct SharedDocument {
    NetworkCall call;
    std::optional<DocumentResponse> response;  // read by the caller only after the thread ended
  };
  auto shared = std::make_shared<SharedDocument>();
  NetworkWaitBounds bounds;
  bounds.deadline = DeadlineAfter(request.deadline_ms);
  const NetworkWaitEnd end =
      RunNetworkCall(std::shared_ptr<NetworkCall>(shared, &shared->call),
                     [shared, request] { shared->response = BlockingGetDocument(request, shared->call); }, bounds);
  if (end != NetworkWaitEnd::kDone) return std::nullopt;
  if (shared->call.failure) std::rethrow_exception(shared->call.failure);
  return std::move(shared->response);
}

}  // namespace qv::setup
