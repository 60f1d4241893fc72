#pragma once
// The HTTP(S) test server that with-test-server.sh starts on 127.0.0.1 around
// this test program (ctest runs network test programs through it).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

struct TestServer {
  std::filesystem::path folder;  // ports, requests.log, test-root.der
  std::uint16_t http = 0;        // plain HTTP
  std::uint16_t https = 0;       // TLS, certificate for "localhost" under the run's test root
  std::uint16_t untrusted = 0;   // TLS, self-signed certificate for "localhost"
  std::uint16_t refused = 0;     // bound, never listening: connections are refused
  // TLS 1.0 only, certificate as "https"; 0 where the server cannot speak it.
  std::uint16_t tls10 = 0;
};

// The running server; fails the current test and returns null when the
// program was started without one.
const TestServer* RunningTestServer();

// "http://127.0.0.1:PORT" + path and "https://localhost:PORT" + path (the
// system does not match certificates to IP addresses, so TLS goes by name).
std::string TestHttpUrl(std::string_view path);
std::string TestHttpsUrl(std::string_view path);

// The server's request log, one line per request:
// "<listener> GET <path> range=<Range> cache=<Cache-Control> agent=<User-Agent>
//  status=<status> sent=<body bytes>" ("-" for a missing header or no answer).
// A request's line is written before its answer leaves the server.
std::vector<std::string> TestServerRequests();

// One line of the request log, split.
struct LoggedRequest {
  std::string listener;  // "http", "https" or "untrusted"
  std::string path;      // as requested, query included
  std::string range;     // the Range header, "-" when there was none
  std::string status;    // "-" when no answer was sent
  std::uint64_t sent = 0;
};
std::vector<LoggedRequest> TestServerLog();

// The logged requests for exactly this path, with or without a query after
// it. (Counting all lines instead would take in the late lines of slow
// requests that earlier tests left behind.)
std::vector<LoggedRequest> TestServerLogFor(std::string_view path);

// Where the server looks for "/files/<name>": its folder "files".
std::filesystem::path TestServerFile(std::string_view name);

// Puts a file there (replacing an earlier one), so "/files/<name>" serves it.
void PutTestServerFile(std::string_view name, std::string_view bytes);

// True when some logged request asked for exactly this path (query included).
bool TestServerWasAskedFor(std::string_view path);

// The next `count` TLS handshakes on "https" are cut by the server: it closes
// the connection once the client hello has arrived, without a word.
void CutNextHandshakes(int count);

// How many of those cuts are still to come.
int HandshakeCutsLeft();

// Puts the run's test root into the current user's Root store (once per
// program; it is taken out again when the program ends). Fails the current
// test and returns false when it cannot.
bool TrustTestRoot();

// The pattern the server serves: the byte at offset i is i % 251.
std::string TestPattern(std::uint64_t first, std::uint64_t count);

}  // namespace qv::test
