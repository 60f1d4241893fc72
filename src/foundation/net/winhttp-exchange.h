#pragma once
// The WinHTTP pieces both HTTP operations share: handle owners, the address
// split, the session with its time-outs and the header queries. Every call
// opens its own session, so nothing here is shared between requests.

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

inline void CloseInternetHandle(HINTERNET handle) noexcept { ::WinHttpCloseHandle(handle); }
using UniqueInternet = UniqueResource<NullableHandleTraits<HINTERNET, &CloseInternetHandle>>;

// The handles of one request. Members close in reverse order of declaration:
// request, then connection, then session.
struct WinHttpExchange {
  UniqueInternet session;
  UniqueInternet connection;
  UniqueInternet request;
};

struct SplitAddress {
  std::wstring host;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::wstring object_name;  // path followed by query and fragment
};

// Splits an http(s) address with WinHttpCrackUrl into a host buffer of 256 and
// a path buffer of `path_capacity` wide characters (both counting the
// terminating zero). Empty when it cannot be split, does not fit or is
// neither http nor https.
std::optional<SplitAddress> SplitHttpAddress(const std::wstring& url, DWORD path_capacity);

// A synchronous session with the user agent "qv-port", the system's automatic
// proxy choice, `timeout_ms` for name resolution, connect, send and receive,
// and TLS 1.2 or later for secure requests. Null on failure (GetLastError
// tells why).
UniqueInternet OpenSession(std::uint32_t timeout_ms);

// The most status line and headers an answer may have.
inline constexpr DWORD kMaxResponseHeaderBytes = 64 * 1024;

// Opens the connection and the GET request of `address` inside the session,
// bounds the wait for the response headers by `timeout_ms` too (WinHTTP's
// receive time-out alone does not bound it everywhere; where WinHTTP restarts
// it with every byte of the headers, as Wine does, only the waiting thread
// bounds it) and limits them to kMaxResponseHeaderBytes (which Wine does not
// enforce: HeadersTooLarge checks it). False on failure.
bool OpenGetRequest(WinHttpExchange& exchange, const SplitAddress& address, std::uint32_t timeout_ms);

// True when the received answer's status line and headers are larger than
// kMaxResponseHeaderBytes (WinHTTP keeps them as wide text; each character
// counts as a byte received).
bool HeadersTooLarge(HINTERNET request);

// Keeps WinHTTP from following redirects for this request.
void DisableRedirects(HINTERNET request);

// The error number a failed WinHTTP call reports, with the Winsock time-out
// (which Wine passes through) read as WinHTTP's own time-out, so callers see
// one number for a time-out everywhere. ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
// the headers were larger than kMaxResponseHeaderBytes.
DWORD LastWinHttpError();

std::optional<std::uint32_t> QueryStatusCode(HINTERNET request);

// A header as text, read into a buffer of `capacity_bytes`; empty when the
// header is missing or longer than the buffer.
std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD query, DWORD capacity_bytes);

// Reads a header value as an unsigned decimal number the way wcstoull does:
// leading white space and one sign accepted (a minus wraps around, which makes
// a negative length huge rather than small), reading stops at the first
// non-digit, values beyond 64 bits saturate, no digits give 0.
std::uint64_t ParseHeaderNumber(const std::wstring& text);

}  // namespace qv::setup
