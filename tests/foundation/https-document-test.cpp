// HttpsGetDocument over real TLS against the project's test server.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "foundation/net/http-client.h"
#include "support/test-server.h"

namespace {

using namespace qv::setup;
using qv::test::TestHttpsUrl;
using qv::test::TestPattern;

class HttpsDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qv::test::TrustTestRoot()); }

  static DocumentRequest Request(const std::string& path) {
    DocumentRequest request;
    request.url = TestHttpsUrl(path);
    // Requests that must succeed: on a busy machine a process's first TLS
    // handshake under Wine alone takes seconds, and the limit is not what
    // these tests check (TimeOut does).
    request.timeout_ms = 30000;
    return request;
  }
};

TEST_F(HttpsDocumentTest, ReturnsStatusBodyAndDate) {
  std::optional<DocumentResponse> response =
      HttpsGetDocument(Request("/doc?size=1000&date=Sun,%2006%20Nov%201994%2008:49:37%20GMT"));
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->status, 200u);
  EXPECT_TRUE(response->body == TestPattern(0, 1000));
  ASSERT_TRUE(response->date.has_value());
  EXPECT_EQ(*response->date, 784111777u);
  EXPECT_FALSE(response->from_cache);
  // No Cache-Control unless asked for, and the program's user agent.
  EXPECT_EQ(qv::test::TestServerRequests().back().substr(0, 6), "https ");
  EXPECT_NE(qv::test::TestServerRequests().back().find(" cache=- agent=qv-port"), std::string::npos);
}

TEST_F(HttpsDocumentTest, DateHeader) {
  struct Case {
    const char* date;
    std::optional<std::uint64_t> seconds;
  } cases[] = {
      {"Thu,%2001%20Jan%201970%2000:00:00%20GMT", 0},
      {"Wed,%2010%20Dec%202025%2012:00:00%20GMT", 1765368000},
      {"Wed,%2031%20Dec%201969%2023:59:59%20GMT", std::nullopt},  // before 1970: not representable
      {"none", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<DocumentResponse> response = HttpsGetDocument(Request(std::string("/doc?size=1&date=") + c.date));
    ASSERT_TRUE(response.has_value()) << c.date;
    EXPECT_EQ(response->date, c.seconds) << c.date;
  }
}

TEST_F(HttpsDocumentTest, AgeTellsACachedAnswer) {
  struct Case {
    const char* query;
    bool from_cache;
  } cases[] = {{"&age=0", false}, {"&age=5", true}, {"", false}};
  for (const Case& c : cases) {
    std::optional<DocumentResponse> response = HttpsGetDocument(Request(std::string("/doc?size=3") + c.query));
    ASSERT_TRUE(response.has_value()) << c.query;
    EXPECT_EQ(response->from_cache, c.from_cache) << c.query;
  }
}

TEST_F(HttpsDocumentTest, BodyLimit) {
  DocumentRequest request = Request("/doc?size=5000");
  request.max_body = 5000;
  std::optional<DocumentResponse> response = HttpsGetDocument(request);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->body.size(), 5000u);

  request.max_body = 4999;
  EXPECT_FALSE(HttpsGetDocument(request).has_value());

  // The default limit is 256 KiB.
  EXPECT_TRUE(HttpsGetDocument(Request("/doc?size=262144")).has_value());
  EXPECT_FALSE(HttpsGetDocument(Request("/doc?size=262145")).has_value());
}

TEST_F(HttpsDocumentTest, AnyStatusIsReturned) {
  std::optional<DocumentResponse> response = HttpsGetDocument(Request("/status/404"));
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->status, 404u);
  EXPECT_EQ(response->body, "status 404");
}

TEST_F(HttpsDocumentTest, RedirectsOnlyWhenAsked) {
  DocumentRequest request = Request("/redirect/302?to=/doc%3Fsize%3D7%26followed");
  std::optional<DocumentResponse> response = HttpsGetDocument(request);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->status, 302u);
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/doc?size=7&followed"));

  request.follow_redirects = true;
  response = HttpsGetDocument(request);
  ASSERT_TRUE(response.has_value());
  EXPECT_EQ(response->status, 200u);
  EXPECT_TRUE(response->body == TestPattern(0, 7));
  EXPECT_TRUE(qv::test::TestServerWasAskedFor("/doc?size=7&followed"));
}

TEST_F(HttpsDocumentTest, NoCacheHeaderWhenAsked) {
  DocumentRequest request = Request("/doc?size=1&no-cache");
  request.no_cache = true;
  ASSERT_TRUE(HttpsGetDocument(request).has_value());
  EXPECT_NE(qv::test::TestServerRequests().back().find(" cache=no-cache "), std::string::npos);
}

TEST_F(HttpsDocumentTest, FailuresGiveNothing) {
  const qv::test::TestServer& server = *qv::test::RunningTestServer();
  std::string port = std::to_string(server.https);
  struct Case {
    std::string url;
    const char* why;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(server.http) + "/doc?plain-http", "not https"},
      {"https://localhost:" + std::to_string(server.untrusted) + "/doc", "untrusted certificate"},
      {"https://127.0.0.1:" + port + "/doc", "certificate for another name"},
      {"https://localhost:" + std::to_string(server.refused) + "/doc", "connection refused"},
      {TestHttpsUrl("/short/1000/400"), "body ends before its length"},
      {TestHttpsUrl("/" + std::string(2047, 'p')), "path does not fit"},
      {"https://" + std::string(256, 'h') + "/", "host does not fit"},
      {"not an address", "no address"},
  };
  for (const Case& c : cases) {
    DocumentRequest request;
    request.url = c.url;
    request.timeout_ms = 3000;
    EXPECT_FALSE(HttpsGetDocument(request).has_value()) << c.why;
  }
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/doc?plain-http"));
  // The longest path that fits is sent.
  std::optional<DocumentResponse> fits = HttpsGetDocument(Request("/" + std::string(2046, 'p')));
  ASSERT_TRUE(fits.has_value());
  EXPECT_EQ(fits->status, 404u);
}

// A server that speaks nothing later than TLS 1.0 gives no document, its
// certificate trusted or not.
TEST_F(HttpsDocumentTest, OnlyTls12OrLaterIsSpoken) {
  const qv::test::TestServer& server = *qv::test::RunningTestServer();
  if (server.tls10 == 0) GTEST_SKIP() << "this machine's TLS library no longer speaks TLS 1.0";
  DocumentRequest request;
  request.url = "https://localhost:" + std::to_string(server.tls10) + "/doc?size=5&old-tls";
  request.timeout_ms = 3000;
  EXPECT_FALSE(HttpsGetDocument(request).has_value());
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/doc?size=5&old-tls"));
}

TEST_F(HttpsDocumentTest, TimeOut) {
  DocumentRequest request = Request("/slow/4000/10");
  request.timeout_ms = 500;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpsGetDocument(request).has_value());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
}

// The status line and headers arrive within the time-out, the whole document
// within its deadline, and headers beyond 64 KiB give nothing, however the
// server paces them (WinHTTP alone waits as long as a byte comes now and then).
TEST_F(HttpsDocumentTest, SlowOrOversizedAnswersGiveNothingInTime) {
  qv::test::PutTestServerFile("paced.json", TestPattern(0, 100));
  const struct {
    const char* query;
    std::uint32_t timeout_ms;
    std::uint32_t deadline_ms;
    bool answered;
  } cases[] = {
      {"headerdrip=300", 500, 0, false},
      {"headerdrip=300", 3000, 1000, false},
      {"trickle=300", 3000, 1000, false},  // the body: only the deadline ends it
      {"headerbytes=60000", 2000, 0, true},
      {"headerbytes=70000", 2000, 0, false},
      {"headerbytes=524288", 2000, 0, false},  // Wine takes it in for about 6 s
      {"trickle=10", 3000, 10000, true},  // about 1 s in all: in time
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    DocumentRequest request = Request(std::string("/files/paced.json?") + c.query);
    request.timeout_ms = c.timeout_ms;
    request.deadline_ms = c.deadline_ms;
    const auto start = std::chrono::steady_clock::now();
    const std::optional<DocumentResponse> response = HttpsGetDocument(request);
    const std::uint32_t bound_ms = c.deadline_ms != 0 ? std::min(c.timeout_ms, c.deadline_ms) : c.timeout_ms;
    if (c.answered) {
      ASSERT_TRUE(response.has_value());
      EXPECT_TRUE(response->body == TestPattern(0, 100));
    } else {
      EXPECT_FALSE(response.has_value());
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(bound_ms + 1000));
    }
  }
}

}  // namespace
