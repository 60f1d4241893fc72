// Release documents in both forms, the release document's address and the
// address policies of every download.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/json-text.h"
#include "support/scoped-environment.h"
#include "update/download-policy.h"
#include "update/release-info.h"
#include "update/release-service.h"

namespace {

using namespace qv::update;
using qv::test::JsonString;
using qv::test::ScopedEnvironment;
using qv::test::UpdateTestMode;

const std::string kPage = "https://qv-releases.example/Tessaly/qv-pc/releases/tag/1.2.0";

std::string AssetHostUrl(const std::string& path) { return "https://" + std::string(kReleaseAssetHost) + path; }

// An API-form document: "tag_name", "html_url" and whatever members follow.
std::string ApiDocument(const std::string& tag, const std::string& more = "") {
  return R"({"tag_name":")" + tag + R"(","html_url":")" + kPage + "\"" + more + "}";
}

std::string Asset(const std::string& name, const std::string& link, const std::string& more = "") {
  return R"({"name":")" + name + R"(","browser_download_url":")" + link + "\"" + more + "}";
}

std::string Assets(std::initializer_list<std::string> items) {
  std::string text = R"(,"assets":[)";
  bool first = true;
  for (const std::string& item : items) {
    text += (first ? "" : ",") + item;
    first = false;
  }
  return text + "]";
}

TEST(ParseRelease, ReadsTheApiForm) {
  const std::string setup = AssetHostUrl("/qv/2/Q.V.PC.Rure.Setup.exe");
  std::optional<Release> release = ParseRelease(
      ApiDocument("1.2.0", R"(,"draft":false,"prerelease":false,"body":)" + JsonString("Faster loading.\r\nMore text") +
                               Assets({Asset("Q.V.PC.Rure.Setup-linux", AssetHostUrl("/l"), R"(,"size":5)"),
                                       Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":123456789)")})),
      "windows");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->version, "1.2.0");
  EXPECT_EQ(release->url, setup);
  EXPECT_EQ(release->page, kPage);
  EXPECT_EQ(release->notes, "Faster loading.\r");  // the carriage return before the line feed stays
  EXPECT_EQ(release->package_url, setup);
  EXPECT_EQ(release->package_size, 123456789u);
  EXPECT_FALSE(release->manifest_resolved);
  EXPECT_EQ(release->download_estimate, 0u);
}

TEST(ParseRelease, ApiFormRules) {
  struct Case {
    const char* what;
    std::string document;
    bool accepted;
    std::string version = "";
  } cases[] = {
      {"bare false flags", ApiDocument("1.2.0", R"(,"draft":false,"prerelease":false)"), true, "1.2.0"},
      {"flags as the string false", ApiDocument("1.2.0", R"(,"draft":"false","prerelease":"false")"), true, "1.2.0"},
      {"a draft", ApiDocument("1.2.0", R"(,"draft":true)"), false},
      {"prerelease true", ApiDocument("1.2.0", R"(,"prerelease":true)"), false},
      {"prerelease null", ApiDocument("1.2.0", R"(,"prerelease":null)"), false},
      {"prerelease 0", ApiDocument("1.2.0", R"(,"prerelease":0)"), false},
      {"prerelease an object", ApiDocument("1.2.0", R"(,"prerelease":{})"), false},
      {"prerelease an array", ApiDocument("1.2.0", R"(,"prerelease":[])"), false},
      {"prerelease False", ApiDocument("1.2.0", R"(,"prerelease":"False")"), false},
      {"tag with a V", ApiDocument("V1.2.3"), true, "V1.2.3"},
      {"pre-release tag", ApiDocument("1.2.0-rc1"), false},
      {"tag with a trailing dot", ApiDocument("1.2."), false},
      {"tag of 64 bytes", ApiDocument("1." + std::string(62, '0')), true, "1." + std::string(62, '0')},
      {"tag of 65 bytes", ApiDocument("1." + std::string(63, '0')), false},
      {"page over http",
       R"({"tag_name":"1.2.0","html_url":"http://qv-releases.example/r"})", false},
      {"page of just the scheme", R"({"tag_name":"1.2.0","html_url":"https://"})", true, "1.2.0"},
      {"page missing", R"({"tag_name":"1.2.0"})", false},
      {"page a number", R"({"tag_name":"1.2.0","html_url":1})", false},
      {"not an object", R"(["tag_name"])", false},
      {"trailing text", ApiDocument("1.2.0") + " x", false},
      {"trailing white space", ApiDocument("1.2.0") + " \r\n\t", true, "1.2.0"},
      {"not JSON", "tag_name: 1.2.0", false},
      {"empty", "", false},
      // A byte-order mark before the document is allowed to be ignored, and is.
      {"a byte-order mark first", "\xEF\xBB\xBF" + ApiDocument("1.2.0"), true, "1.2.0"},
      {"a byte-order mark and nothing else", "\xEF\xBB\xBF", false},
      {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + ApiDocument("1.2.0"), false},
      {"a byte-order mark after white space", " \xEF\xBB\xBF" + ApiDocument("1.2.0"), false},
  };
  for (const Case& c : cases) {
    std::optional<Release> release = ParseRelease(c.document, "windows");
    EXPECT_EQ(release.has_value(), c.accepted) << c.what;
    if (release && c.accepted) {
      EXPECT_EQ(release->version, c.version) << c.what;
    }
  }
}

TEST(ParseRelease, NotesAreTheFirstLineUpTo200Bytes) {
  struct Case {
    std::string body;
    std::string notes;
  } cases[] = {
      {"", ""},
      {"one line", "one line"},
      {"first\nsecond", "first"},
      {std::string(199, 'a') + "\nb", std::string(199, 'a')},
      {std::string(200, 'a') + "\nb", std::string(200, 'a')},
      {std::string(250, 'a'), std::string(200, 'a')},
      {std::string(201, 'a') + "\nb", std::string(200, 'a')},
      // A cut never splits a character: the "é" that would straddle byte 200 goes whole.
      {std::string(199, 'a') + "\xc3\xa9" + "tail", std::string(199, 'a')},
  };
  for (const Case& c : cases) {
    std::optional<Release> release = ParseRelease(ApiDocument("1.2.0", R"(,"body":)" + JsonString(c.body)), "windows");
    ASSERT_TRUE(release) << c.body;
    EXPECT_EQ(release->notes, c.notes) << c.body;
  }
  std::optional<Release> number_body = ParseRelease(ApiDocument("1.2.0", R"(,"body":42)"), "windows");
  ASSERT_TRUE(number_body);
  EXPECT_EQ(number_body->notes, "");
}

TEST(ParseRelease, SetupAssets) {
  const std::string setup = AssetHostUrl("/s/Q.V.PC.Rure.Setup.exe");
  const std::string later = "https://" + std::string(kReleaseStorageHost) + "/later.exe";
  struct Case {
    const char* what;
    std::string assets;
    std::string url;  // empty: the release page
    std::string package_url;
    std::uint64_t package_size;
  } cases[] = {
      {"no assets", "", "", "", 0},
      {"assets not an array", R"(,"assets":{"name":"Q.V.PC.Rure.Setup.exe"})", "", "", 0},
      {"setup file", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":1000)")}), setup, setup, 1000},
      {"no size", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup)}), setup, setup, 0},
      {"size as a string", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":"1000")")}), setup, setup, 0},
      {"size with a fraction", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":1000.9)")}), setup, setup, 1000},
      {"negative size", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":-5)")}), setup, setup, 0},
      {"largest size", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":18446744073709551615)")}), setup,
       setup, 18446744073709551615ull},
      // One past 64 bits must not wrap into a small size: it counts as none.
      {"size past 64 bits", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":18446744073709551616)")}),
       setup, setup, 0},
      {"size far past 64 bits",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":99999999999999999999999999)")}), setup, setup, 0},
      {"plain http link", Assets({Asset("Q.V.PC.Rure.Setup.exe", "http://" + std::string(kReleaseAssetHost) + "/s")}),
       "", "", 0},
      {"host not allowed", Assets({Asset("Q.V.PC.Rure.Setup.exe", "https://mirror.example/s", R"(,"size":9)")}),
       "https://mirror.example/s", "", 0},
      {"API host is no download host",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", "https://" + std::string(kReleaseApiHost) + "/s", R"(,"size":9)")}),
       "https://" + std::string(kReleaseApiHost) + "/s", "", 0},
      {"other platform's file", Assets({Asset("Q.V.PC.Rure.Setup-linux", setup, R"(,"size":9)")}), "", "", 0},
      {"name in other letter case", Assets({Asset("q.v.pc.rure.setup.exe", setup, R"(,"size":9)")}), "", "", 0},
      {"link too long", Assets({Asset("Q.V.PC.Rure.Setup.exe", setup + "?" + std::string(2048, 'x'))}), "", "", 0},
      {"link of 2048 bytes",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", setup + "?" + std::string(2047 - setup.size(), 'x'))}),
       setup + "?" + std::string(2047 - setup.size(), 'x'), setup + "?" + std::string(2047 - setup.size(), 'x'), 0},
      {"name missing", Assets({R"({"browser_download_url":")" + setup + "\"}"}), "", "", 0},
      // One asset is the setup file: the first usable one gives both the link
      // offered and the file read, with its own size; later ones count for nothing.
      {"two setup files",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":1000)"), Asset("Q.V.PC.Rure.Setup.exe", later)}),
       setup, setup, 1000},
      {"two setup files with sizes",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":1000)"),
               Asset("Q.V.PC.Rure.Setup.exe", later, R"(,"size":2000)")}),
       setup, setup, 1000},
      {"a setup file on a host not allowed first",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", "https://mirror.example/s", R"(,"size":9)"),
               Asset("Q.V.PC.Rure.Setup.exe", later, R"(,"size":2000)")}),
       "https://mirror.example/s", "", 0},
      {"a setup file with a link too long first",
       Assets({Asset("Q.V.PC.Rure.Setup.exe", setup + "?" + std::string(2048, 'x')),
               Asset("Q.V.PC.Rure.Setup.exe", later, R"(,"size":2000)")}),
       later, later, 2000},
      {"an unusable asset first",
       Assets({R"("text")", "[]", Asset("Q.V.PC.Rure.Setup.exe", setup, R"(,"size":7)")}), setup, setup, 7},
  };
  for (const Case& c : cases) {
    std::optional<Release> release = ParseRelease(ApiDocument("1.2.0", c.assets), "windows");
    ASSERT_TRUE(release) << c.what;
    EXPECT_EQ(release->url, c.url.empty() ? kPage : c.url) << c.what;
    EXPECT_EQ(release->package_url, c.package_url) << c.what;
    EXPECT_EQ(release->package_size, c.package_size) << c.what;
  }
}

TEST(ParseRelease, PlatformsWithoutASetupFile) {
  const std::string zip = AssetHostUrl("/Q.V.PC.Rure-macOS-arm64.zip");
  std::optional<Release> release =
      ParseRelease(ApiDocument("1.2.0", Assets({Asset("Q.V.PC.Rure-macOS-arm64.zip", zip, R"(,"size":5)")})),
                   "macos-arm64");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->url, zip);
  EXPECT_EQ(release->package_url, "");  // no signed setup file for this platform
  EXPECT_EQ(release->package_size, 0u);

  release = ParseRelease(ApiDocument("1.2.0", Assets({Asset("Q.V.PC.Rure.Setup.exe", zip)})), "beos");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->url, kPage);
  EXPECT_EQ(release->package_url, "");
}

TEST(ParseRelease, ReadsTheOwnForm) {
  // The self test's sample document.
  const std::string sample =
      R"({"version":"0.2.0","notes":"x","url":"https://sample.test/r",)"
      R"("platforms":{"windows":{"url":"https://sample.test/w.exe"},"linux":{"url":"https://sample.test/l"}}})";
  std::optional<Release> release = ParseRelease(sample, "windows");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->version, "0.2.0");
  EXPECT_EQ(release->url, "https://sample.test/w.exe");
  EXPECT_EQ(release->notes, "x");
  EXPECT_EQ(release->page, "");
  EXPECT_EQ(release->package_url, "");
  EXPECT_EQ(release->package_size, 0u);
  EXPECT_FALSE(release->manifest_resolved);

  release = ParseRelease(sample, "linux");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->url, "https://sample.test/l");
  release = ParseRelease(sample, "macos-x64");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->url, "https://sample.test/r");

  EXPECT_FALSE(ParseRelease(R"({"notes":1})", "windows"));
}

TEST(ParseRelease, OwnFormRules) {
  struct Case {
    const char* what;
    std::string document;
    bool accepted;
    std::string url = "";
    std::string notes = "";
    std::string version = "";
  } cases[] = {
      {"no version", R"({"url":"https://a.test/"})", false},
      {"empty version", R"({"version":""})", false},
      {"version a number", R"({"version":2})", false},
      {"empty tag_name reads the own form", R"({"tag_name":"","version":"3"})", true, "", "", "3"},
      {"no syntax check of the version", R"({"version":"next"})", true, "", "", "next"},
      {"nothing else", R"({"version":"2"})", true, "", "", "2"},
      {"long url", R"({"version":"2","url":")" + std::string(600, 'u') + "\"}", true, std::string(512, 'u'), "", "2"},
      {"long notes", R"({"version":"2","notes":")" + std::string(300, 'n') + "\"}", true, "", std::string(200, 'n'),
       "2"},
      {"notes not cut at a line feed", R"({"version":"2","notes":"a\nb"})", true, "", "a\nb", "2"},
      {"notes a number", R"({"version":"2","notes":5})", true, "", "", "2"},
      {"empty platform url", R"({"version":"2","url":"u","platforms":{"windows":{"url":""}}})", true, "u", "", "2"},
      {"platform url a number", R"({"version":"2","url":"u","platforms":{"windows":{"url":1}}})", true, "u", "", "2"},
      {"platforms an array", R"({"version":"2","url":"u","platforms":[{"url":"w"}]})", true, "u", "", "2"},
      {"platform without url", R"({"version":"2","platforms":{"windows":{}}})", true, "", "", "2"},
      {"long platform url", R"({"version":"2","platforms":{"windows":{"url":")" + std::string(513, 'w') + "\"}}}",
       true, std::string(512, 'w'), "", "2"},
  };
  for (const Case& c : cases) {
    std::optional<Release> release = ParseRelease(c.document, "windows");
    ASSERT_EQ(release.has_value(), c.accepted) << c.what;
    if (!release) continue;
    EXPECT_EQ(release->version, c.version) << c.what;
    EXPECT_EQ(release->url, c.url) << c.what;
    EXPECT_EQ(release->notes, c.notes) << c.what;
  }
}

TEST(ReleaseUrl, BuiltInAddressOrTheOverride) {
  {
    ScopedEnvironment unset("QV_UPDATE_MANIFEST_URL", std::nullopt);
    const std::string url = ReleaseUrl();
    EXPECT_EQ(url, "https://" + std::string(kReleaseApiHost) + "/repos/Tessaly/qv-pc/releases/latest");
    // What the self test looks for in a build with its real address.
    EXPECT_NE(url.find(std::string(kReleaseApiHost) + "/"), std::string::npos);
    EXPECT_TRUE(IsAllowedReleaseUrl(url));
  }
  {
    ScopedEnvironment set("QV_UPDATE_MANIFEST_URL", "https://localhost:1/files/release.json");
    EXPECT_EQ(ReleaseUrl(), "https://localhost:1/files/release.json");  // test mode or not
  }
  {
    ScopedEnvironment set("QV_UPDATE_MANIFEST_URL", "not an address at all");
    EXPECT_EQ(ReleaseUrl(), "not an address at all");
  }
}

TEST(DownloadPolicy, OutsideTestMode) {
  ScopedEnvironment off("QV_UPDATE_TEST", std::nullopt);
  const std::string api(kReleaseApiHost), web(kReleaseWebHost), asset(kReleaseAssetHost),
      storage(kReleaseStorageHost);
  struct Case {
    std::string url;
    bool test_local, download, release;
  } cases[] = {
      {"https://" + web + "/r/x.exe", false, true, true},
      {"https://" + asset + "/x", false, true, true},
      {"https://" + storage + ":443/x?y#z", false, true, true},
      {"HTTPS://" + asset + "/x", false, true, true},
      {"https://" + api + "/repos", false, false, true},
      {"http://" + asset + "/x", false, false, false},
      {"http://" + api + "/x", false, false, false},
      {"https://user@" + asset + "/x", false, false, false},
      {"https://" + asset + ".attacker.test/x", false, false, false},
      {"https://x" + asset + "/x", false, false, false},
      {"ftp://" + asset + "/x", false, false, false},
      {"https://127.0.0.1/x", false, false, false},
      {"http://localhost:8080/x", false, false, false},
      {"https://[::1]/x", false, false, false},
      {"", false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTestLocalUrl(c.url), c.test_local) << c.url;
    EXPECT_EQ(IsAllowedDownloadUrl(c.url), c.download) << c.url;
    EXPECT_EQ(IsAllowedReleaseUrl(c.url), c.release) << c.url;
  }
}

TEST(DownloadPolicy, InTestMode) {
  UpdateTestMode on;
  const std::string asset(kReleaseAssetHost), api(kReleaseApiHost);
  struct Case {
    std::string url;
    bool test_local, download, release;
  } cases[] = {
      {"http://127.0.0.1:8080/x", true, true, true},
      {"https://127.0.0.1/x", true, true, true},
      {"https://localhost:443/x", true, true, true},
      {"http://LOCALHOST/x", true, true, true},
      {"https://127.0.0.2/x", false, false, false},
      {"https://localhost.attacker.test/x", false, false, false},
      {"https://user@localhost/x", false, false, false},
      {"ftp://127.0.0.1/x", false, false, false},
      {"https://" + asset + "/x", false, true, true},
      {"https://" + api + "/x", false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTestLocalUrl(c.url), c.test_local) << c.url;
    EXPECT_EQ(IsAllowedDownloadUrl(c.url), c.download) << c.url;
    EXPECT_EQ(IsAllowedReleaseUrl(c.url), c.release) << c.url;
  }
}

TEST(DownloadPolicy, TestModeNeedsExactlyOne) {
  for (const char* value : {"11", "true", "1 ", "0"}) {
    ScopedEnvironment set("QV_UPDATE_TEST", value);
    EXPECT_FALSE(IsTestLocalUrl("http://127.0.0.1/x")) << value;
    EXPECT_FALSE(IsAllowedDownloadUrl("http://127.0.0.1/x")) << value;
  }
}

}  // namespace
