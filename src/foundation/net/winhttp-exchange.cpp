#include "foundation/net/winhttp-exchange.h"

#include <climits>
#include <cwchar>
#include <vector>

namespace qv::setup {
namespace {

constexpr DWORD kHostCapacity = 256;

int TimeoutArgument(std::uint32_t timeout_ms) {
  return timeout_ms > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeout_ms);
}

}  // namespace

std::optional<SplitAddress> SplitHttpAddress(const std::wstring& url, DWORD path_capacity) {
  std::vector<wchar_t> host(kHostCapacity, L'\0');
  std::vector<wchar_t> path(path_capacity, L'\0');
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = kHostCapacity;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = path_capacity;
  parts.lpszExtraInfo = nullptr;  // query and fragment come back as a pointer into `url`
  parts.dwExtraInfoLength = 1;
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
  SplitAddress address;
  address.host.assign(host.data(), parts.dwHostNameLength);
  address.port = parts.nPort;
  address.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  address.object_name.assign(path.data(), parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) address.object_name.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  return address;
}

namespace {

// TLS 1.2 and later only, whatever older versions the system would still
// speak. A system that does not know TLS 1.3 refuses its flag: TLS 1.2 alone then.
bool RequireTls12OrLater(HINTERNET session) {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) return true;
  protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  return ::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
}

}  // namespace

UniqueInternet OpenSession(std::uint32_t timeout_ms) {
  UniqueInternet session(::WinHttpOpen(L"qv-port", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return session;
  if (!RequireTls12OrLater(session.get())) return UniqueInternet();
  int timeout = TimeoutArgument(timeout_ms);
  ::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);
  return session;
}

bool OpenGetRequest(WinHttpExchange& exchange, const SplitAddress& address, std::uint32_t timeout_ms) {
  exchange.connection.reset(::WinHttpConnect(exchange.session.get(), address.host.c_str(), address.port, 0));
  if (!exchange.connection) return false;
  exchange.request.reset(::WinHttpOpenRequest(exchange.connection.get(), L"GET", address.object_name.c_str(),
                                              nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              address.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!exchange.request) return false;
  DWORD timeout = static_cast<DWORD>(TimeoutArgument(timeout_ms));
  ::WinHttpSetOption(exchange.request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof timeout);
  DWORD header_limit = kMaxResponseHeaderBytes;
  ::WinHttpSetOption(exchange.request.get(), WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &header_limit,
                     sizeof header_limit);
  return true;
}

bool HeadersTooLarge(HINTERNET request) {
  DWORD size = 0;  // bytes of wide text with its terminating zero
  if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                            WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  return size / sizeof(wchar_t) > kMaxResponseHeaderBytes + 1;
}

void DisableRedirects(HINTERNET request) {
  DWORD feature = WINHTTP_DISABLE_REDIRECTS;
  ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
}

DWORD LastWinHttpError() {
  DWORD error = ::GetLastError();
  return error == WSAETIMEDOUT ? ERROR_WINHTTP_TIMEOUT : error;
}

std::optional<std::uint32_t> QueryStatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return status;
}

std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD query, DWORD capacity_bytes) {
  std::vector<wchar_t> buffer(capacity_bytes / sizeof(wchar_t), L'\0');
  DWORD size = capacity_bytes;
  if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

std::uint64_t ParseHeaderNumber(const std::wstring& text) {
  return std::wcstoull(text.c_str(), nullptr, 10);
}

}  // namespace qv::setup
