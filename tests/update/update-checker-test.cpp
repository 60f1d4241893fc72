// The background update checker against the project's HTTPS test server.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "foundation/text/text.h"
#include "support/scoped-environment.h"
#include "support/temp-folder.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "update/signed-manifest.h"
#include "update/update-checker.h"

namespace {

using namespace qv::update;
using qv::test::PutTestServerFile;
using qv::test::ScopedEnvironment;
using qv::test::TestHttpsUrl;
using qv::test::TestHttpUrl;

constexpr std::string_view kPage = "https://localhost/releases/2.0.0";

// A release document in the API form with one setup asset when `setup` is given.
std::string ReleaseDocument(const std::string& tag, const std::string& setup = "", std::uint64_t size = 0) {
  std::string text = R"({"tag_name":")" + tag + R"(","html_url":")" + std::string(kPage) + R"(","body":"notes")";
  if (!setup.empty()) {
    text += R"(,"assets":[{"name":"Q.V.PC.Rure.Setup.exe","browser_download_url":")" + setup + R"(","size":)" +
            std::to_string(size) + "}]";
  }
  return text + "}";
}

bool WaitUntilDone(const Checker& checker, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!checker.Done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class UpdateChecker : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());
  }

  // Runs a fresh checker on the document at `path` of the test server.
  std::optional<Release> Check(const std::string& path, const std::filesystem::path& folder = {}) {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", TestHttpsUrl(path));
    Checker checker;
    EXPECT_FALSE(checker.Done());
    EXPECT_FALSE(checker.Result());
    checker.Start(folder);
    EXPECT_TRUE(WaitUntilDone(checker)) << path;
    return checker.Result();
  }

  // Serves `package` as "<name>.exe" and a release document "<name>.json" of
  // version `tag` that names it as the setup file (with `query` added), and
  // runs a fresh checker on that document.
  std::optional<Release> CheckServedRelease(const std::string& name, const std::string& tag,
                                            const std::string& package, const std::string& query = "") {
    PutTestServerFile(name + ".exe", package);
    PutTestServerFile(name + ".json", ReleaseDocument(tag, TestHttpsUrl("/files/" + name + ".exe" + query), package.size()));
    return Check("/files/" + name + ".json");
  }

  qv::test::UpdateTestMode test_mode;
};

TEST(ReservedInvalidHost, ByteExactHostTest) {
  struct Case {
    const char* url;
    bool reserved;
  } cases[] = {
      {"https://updates.invalid/x", true},
      {"https://updates.invalid:443/x", true},
      {"https://invalid/x", true},
      {"https://.invalid/x", true},
      {"https:///x", true},
      {"https://", true},
      {"", true},
      {"invalid", true},
      {"a.invalid", true},
      {"https://UPDATES.INVALID/x", false},  // byte-exact
      {"https://myinvalid/x", false},
      {"https://updates.invalid.example/x", false},
      {"https://localhost/x.invalid", false},
      {"ab", false},
      {"https://localhost:8443/x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsReservedInvalidHost(c.url), c.reserved) << c.url;
}

TEST_F(UpdateChecker, NewerReleaseWithoutASetupFile) {
  PutTestServerFile("no-setup.json", ReleaseDocument("2.0.0"));
  std::optional<Release> release = Check("/files/no-setup.json");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->version, "2.0.0");
  EXPECT_EQ(release->url, kPage);
  EXPECT_EQ(release->notes, "notes");
  EXPECT_FALSE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, 0u);
}

TEST_F(UpdateChecker, NewerReleaseWithASignedManifest) {
  ScopedEnvironment key("QV_UPDATE_TEST_PUBLIC_KEY", qv::test::TestReleasePublicKeyHex());
  const std::filesystem::path newer = qv::test::TestReleaseSetup(L"newer");
  const std::string bytes = qv::test::ReadTestFile(newer);
  const std::string link = TestHttpsUrl("/files/checker-newer.exe");
  std::optional<Release> release = CheckServedRelease("checker-newer", "2.0.0", bytes);
  ASSERT_TRUE(release);
  EXPECT_EQ(release->version, "2.0.0");
  EXPECT_EQ(release->url, link);
  EXPECT_EQ(release->package_url, link);
  EXPECT_EQ(release->package_size, bytes.size());
  EXPECT_TRUE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, 0u);  // no installation to compare with

  // With an installation whose records show every file but one unchanged,
  // the estimate is that file's packed bytes.
  std::optional<UpdateManifest> manifest = ReadLocalSignedManifest(*release, newer, nullptr);
  ASSERT_TRUE(manifest);
  const std::vector<FileEntry>& files = manifest->files.at("windows");
  auto changed = std::find_if(files.begin(), files.end(), [](const FileEntry& f) { return f.path == "qv.exe"; });
  ASSERT_NE(changed, files.end());
  qv::test::TempFolder install{L"qv-checker-install"};
  std::string records = "qv-port-install 1\nversion=1.1.0\n";
  for (const FileEntry& file : files) {
    qv::test::WriteTestFile(install / qv::setup::PathFromUtf8(file.path), std::string(file.size, 'x'));
    if (&file != &*changed) records += "file=" + file.sha256 + " " + file.path + "\n";
  }
  qv::test::WriteTestFile(install / L"qv-install-manifest.txt", records);
  CheckContext context{std::make_shared<Checker::State>(), TestHttpsUrl("/files/checker-newer.json"), install.path()};
  RunUpdateCheck(context);
  ASSERT_TRUE(context.state->done.load());
  ASSERT_TRUE(context.state->result);
  EXPECT_TRUE(context.state->result->manifest_resolved);
  EXPECT_EQ(context.state->result->download_estimate, changed->packed);
}

TEST_F(UpdateChecker, AManifestThatFailsLeavesTheReleaseUnresolved) {
  // The release claims 2.0.0, its setup file is signed as 1.1.0.
  ScopedEnvironment key("QV_UPDATE_TEST_PUBLIC_KEY", qv::test::TestReleasePublicKeyHex());
  std::optional<Release> release = CheckServedRelease(
      "checker-rollback", "2.0.0", qv::test::ReadTestFile(qv::test::TestReleaseSetup(L"good")));
  ASSERT_TRUE(release);
  EXPECT_FALSE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, 0u);
}

TEST_F(UpdateChecker, RunningOrOlderVersionGivesNoResult) {
  for (const char* tag : {"1.1.0", "v1.1", "1.0.9", "1.1.0"}) {
    PutTestServerFile("same.json", ReleaseDocument(tag));
    EXPECT_FALSE(Check("/files/same.json")) << tag;
  }
  PutTestServerFile("newer-patch.json", ReleaseDocument("1.1.1"));
  EXPECT_TRUE(Check("/files/newer-patch.json"));
}

TEST_F(UpdateChecker, FailedAnswersGiveNoResult) {
  EXPECT_FALSE(Check("/status/404"));
  EXPECT_FALSE(Check("/files/missing.json"));
  PutTestServerFile("not-json.json", "version 2.0.0");
  EXPECT_FALSE(Check("/files/not-json.json"));
  // A redirect is followed to the document.
  PutTestServerFile("moved.json", ReleaseDocument("2.0.0"));
  EXPECT_TRUE(Check("/redirect/302?to=/files/moved.json"));
}

TEST_F(UpdateChecker, RangesRefusedResolvesToTheWholeFile) {
  const std::string package(5000, 'p');
  std::optional<Release> release = CheckServedRelease("whole-only", "2.0.0", package, "?ranges=ignore");
  ASSERT_TRUE(release);
  EXPECT_TRUE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, package.size());
  // One range request that came back whole; nothing more was asked of the file.
  std::vector<qv::test::LoggedRequest> asked = qv::test::TestServerLogFor("/files/whole-only.exe");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].range, "bytes=4952-4999");
  EXPECT_EQ(asked[0].status, "200");
}

TEST_F(UpdateChecker, SetupFileWithoutManifestStaysUnresolved) {
  std::optional<Release> release = CheckServedRelease("unsigned", "2.0.0", std::string(5000, 'p'));
  ASSERT_TRUE(release);
  EXPECT_EQ(release->package_url, TestHttpsUrl("/files/unsigned.exe"));
  EXPECT_FALSE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, 0u);
}

TEST_F(UpdateChecker, DocumentSizeLimit) {
  std::string document = ReleaseDocument("2.0.0");
  document += std::string(kReleaseDocumentLimit - document.size(), ' ');
  PutTestServerFile("limit.json", document);
  EXPECT_TRUE(Check("/files/limit.json"));
  PutTestServerFile("over-limit.json", document + " ");
  EXPECT_FALSE(Check("/files/over-limit.json"));
}

TEST_F(UpdateChecker, SlowDocumentTimesOut) {
  PutTestServerFile("slow.json", ReleaseDocument("2.0.0"));
  auto run = [](const std::string& path, std::uint32_t timeout_ms) {
    CheckContext context{std::make_shared<Checker::State>(), TestHttpsUrl(path), {}, timeout_ms};
    RunUpdateCheck(context);
    EXPECT_TRUE(context.state->done.load());
    return context.state->result;
  };
  EXPECT_TRUE(run("/files/slow.json?delay=200", 1000));
  EXPECT_FALSE(run("/files/slow.json?delay=1500", 1000));
  // The checker's own time-out is five seconds.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Check("/files/slow.json?delay=5600"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5550));
}

TEST_F(UpdateChecker, RefusedAddressesEndAtOnceWithoutARequest) {
  PutTestServerFile("refused.json", ReleaseDocument("2.0.0"));
  const std::string https = TestHttpsUrl("/files/refused.json");
  for (const std::string& url : {"https://updates.invalid" + https.substr(https.find("/files")),
                                 std::string("https://invalid:1/files/refused.json"),
                                 TestHttpUrl("/files/refused.json?plain-http"), std::string("https:/"),
                                 "ftp" + https.substr(5) + "?ftp", "HTTPS" + https.substr(5) + "?capitals"}) {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", url);
    Checker checker;
    checker.Start({});
    EXPECT_TRUE(checker.Done()) << url;  // at once, no thread
    EXPECT_FALSE(checker.Result()) << url;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(qv::test::TestServerLogFor("/files/refused.json").empty());
}

TEST_F(UpdateChecker, ASecondStartChangesNothing) {
  PutTestServerFile("first.json", ReleaseDocument("2.0.0"));
  PutTestServerFile("second.json", ReleaseDocument("3.0.0"));
  Checker checker;
  {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", TestHttpsUrl("/files/first.json"));
    checker.Start({});
  }
  ASSERT_TRUE(WaitUntilDone(checker));
  {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", TestHttpsUrl("/files/second.json"));
    checker.Start({});
  }
  EXPECT_TRUE(checker.Done());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(qv::test::TestServerLogFor("/files/second.json").empty());
  ASSERT_TRUE(checker.Result());
  EXPECT_EQ(checker.Result()->version, "2.0.0");

  // A checker refused at its start stays so.
  Checker refused;
  {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", "https://x.invalid/");
    refused.Start({});
  }
  {
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", TestHttpsUrl("/files/second.json"));
    refused.Start({});
  }
  EXPECT_TRUE(refused.Done());
  EXPECT_FALSE(refused.Result());
}

}  // namespace
