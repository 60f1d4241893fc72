// "--check-update <result>" through the built program under Wine, with the
// release document on the project's HTTPS test server.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/test-server.h"

namespace {

using qv::test::PutTestServerFile;
using qv::test::TestHttpsUrl;

class CheckUpdateProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());  // the program shares the private prefix
  }

  // Runs the program on the document served as `name`; returns its result file.
  std::string Run(const std::string& name) {
    const std::string address = TestHttpsUrl("/files/" + name);
    qv::test::ChildRun run = qv::test::RunProgram(
        qv::test::SetupProgramPath(), {L"--check-update", (temp / L"result.txt").native()},
        {"QV_UPDATE_MANIFEST_URL=" + address, "QV_UPDATE_TEST=1",
         "QV_UPDATE_TEST_PUBLIC_KEY=" + qv::test::TestReleasePublicKeyHex()});
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    return qv::test::ReadTestFile(temp / L"result.txt");
  }

  qv::test::TempFolder temp{L"qv-check-update"};
};

TEST_F(CheckUpdateProgram, ANewerRelease) {
  const std::string bytes = qv::test::ReadTestFile(qv::test::TestReleaseSetup(L"newer"));
  const std::string link = TestHttpsUrl("/files/program-newer.exe");
  PutTestServerFile("program-newer.exe", bytes);
  PutTestServerFile("program-newer.json",
                    R"({"tag_name":"2.0.0","html_url":"https://localhost/releases/2.0.0","assets":[)"
                    R"({"name":"Q.V.PC.Rure.Setup.exe","browser_download_url":")" + link + R"(","size":)" +
                        std::to_string(bytes.size()) + "}]}");
  EXPECT_EQ(Run("program-newer.json"), "url " + TestHttpsUrl("/files/program-newer.json") +
                                           "\r\nthis 1.1.0\r\ndone 1\r\nnewer 2.0.0 " + link + "\r\n");
  // The release document in the project's own form.
  PutTestServerFile("program-own.json",
                    R"({"version":"1.2","url":"https://localhost/r","platforms":{"windows":{"url":"https://localhost/w.exe"}}})");
  EXPECT_EQ(Run("program-own.json"), "url " + TestHttpsUrl("/files/program-own.json") +
                                         "\r\nthis 1.1.0\r\ndone 1\r\nnewer 1.2 https://localhost/w.exe\r\n");
}

TEST_F(CheckUpdateProgram, AnOlderOrEqualRelease) {
  for (const char* version : {"1.0.9", "1.1.0", "v1.1"}) {
    PutTestServerFile("program-older.json", std::string(R"({"tag_name":")") + version +
                                                R"(","html_url":"https://localhost/releases/old"})");
    EXPECT_EQ(Run("program-older.json"),
              "url " + TestHttpsUrl("/files/program-older.json") + "\r\nthis 1.1.0\r\ndone 1\r\nnewer none\r\n")
        << version;
  }
}

// A release service that drips its headers, or its document, ends the check
// without a result long before "--check-update" stops waiting for it.
TEST_F(CheckUpdateProgram, ASlowReleaseServiceEndsTheCheckInTime) {
  PutTestServerFile("program-slow.json", R"({"tag_name":"2.0.0","html_url":"https://localhost/releases/2.0.0"})");
  for (const char* query : {"?headerdrip=1000", "?trickle=300"}) {
    SCOPED_TRACE(query);
    const std::string name = std::string("program-slow.json") + query;
    EXPECT_EQ(Run(name), "url " + TestHttpsUrl("/files/" + name) + "\r\nthis 1.1.0\r\ndone 1\r\nnewer none\r\n");
  }
}

}  // namespace
