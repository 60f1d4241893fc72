// The manifest's rules, in their order, through the reader that runs once the
// signature holds; the release key the manifest is checked with.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/text/hex-text.h"
#include "support/scoped-environment.h"
#include "update/release-service.h"
#include "update/signed-manifest.h"

namespace {

using namespace qv::update;
using qv::test::ScopedEnvironment;
using qv::test::UpdateTestMode;

const std::string kDigest = std::string(32, 'a') + std::string(32, '7');
const std::string kOtherDigest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string Package(const std::string& name = "Q.V.PC.Rure.Setup.exe", const std::string& size = "1000",
                    const std::string& sha256 = "\"" + kDigest + "\"") {
  return R"({"name":")" + name + R"(","size":)" + size + R"(,"sha256":)" + sha256 + "}";
}

std::string File(const std::string& path, const std::string& more = R"(,"offset":100,"packed":50)",
                 const std::string& size = "10", const std::string& sha256 = "\"" + kOtherDigest + "\"") {
  return R"({"path":")" + path + R"(","size":)" + size + R"(,"sha256":)" + sha256 + more + "}";
}

std::string Manifest(const std::string& format, const std::string& version, const std::string& packages,
                     const std::string& files) {
  std::string text = "{";
  if (!format.empty()) text += R"("format":)" + format + ",";
  if (!version.empty()) text += R"("version":)" + version + ",";
  if (!packages.empty()) text += R"("packages":)" + packages + ",";
  if (!files.empty()) text += R"("files":)" + files + ",";
  text += R"("note":"members not named are ignored"})";
  return text;
}

std::string WindowsManifest(const std::string& files_of_windows) {
  return Manifest("1", R"("2.0.0")", R"({"windows":)" + Package() + "}", R"({"windows":[)" + files_of_windows + "]}");
}

std::string ErrorOf(const std::string& manifest) {
  std::string error = "untouched";
  std::optional<UpdateManifest> result = ReadVerifiedManifest(manifest, &error);
  if (result) return "accepted";
  return error;
}

TEST(ManifestReader, ReadsAValidManifest) {
  const std::string text = Manifest(
      "1", R"("V2.0.0")", R"({"windows":)" + Package() + R"(,"linux":)" + Package("Q.V.PC.Rure.Setup-linux", "7") + "}",
      R"({"windows":[)" + File("qv.exe") + "," + File("shaders/a b.spv", "") + "," +
          File("last.bin", R"(,"offset":950,"packed":50)") + R"(],"linux":{},"macos-x64":[)" +
          File("far.bin", R"(,"offset":99999999,"packed":1)") + "]}");
  std::string error = "untouched";
  std::optional<UpdateManifest> manifest = ReadVerifiedManifest(text, &error);
  ASSERT_TRUE(manifest) << error;
  EXPECT_EQ(error, "untouched");  // success leaves the error alone
  EXPECT_EQ(manifest->version, "V2.0.0");
  ASSERT_EQ(manifest->packages.size(), 2u);
  EXPECT_EQ(manifest->packages["windows"].name, "Q.V.PC.Rure.Setup.exe");
  EXPECT_EQ(manifest->packages["windows"].size, 1000u);
  EXPECT_EQ(manifest->packages["windows"].sha256, kDigest);
  EXPECT_EQ(manifest->packages["linux"].size, 7u);

  ASSERT_EQ(manifest->files.size(), 3u);
  const std::vector<FileEntry>& windows = manifest->files["windows"];
  ASSERT_EQ(windows.size(), 3u);  // document order
  EXPECT_EQ(windows[0].path, "qv.exe");
  EXPECT_EQ(windows[0].size, 10u);
  EXPECT_EQ(windows[0].sha256, kOtherDigest);
  EXPECT_EQ(windows[0].offset, 100u);
  EXPECT_EQ(windows[0].packed, 50u);
  EXPECT_EQ(windows[1].path, "shaders/a b.spv");
  EXPECT_EQ(windows[1].offset, 0u);
  EXPECT_EQ(windows[1].packed, 0u);
  EXPECT_EQ(windows[2].offset, 950u);  // offset + packed equal to the package size
  // A platform whose value has no items still gets its (empty) list.
  ASSERT_EQ(manifest->files.count("linux"), 1u);
  EXPECT_TRUE(manifest->files["linux"].empty());
  // A platform without a package has no bound on where its data lies.
  EXPECT_EQ(manifest->files["macos-x64"][0].offset, 99999999u);
  EXPECT_TRUE(ReadVerifiedManifest(text, nullptr));
}

TEST(ManifestReader, RulesInTheirOrder) {
  const std::string packages = R"({"windows":)" + Package() + "}";
  const std::string files = R"({"windows":[)" + File("qv.exe") + "]}";
  const std::string not_valid = "the update manifest is not valid";
  const std::string unknown_format = "the update manifest has an unknown format";
  const std::string no_version = "the update manifest has no version";
  const std::string bad_package = "the update manifest lists a package without its size or SHA-256";
  const std::string bad_file = "the update manifest lists a file without its size or SHA-256";
  const std::string outside = "the update manifest lists a file outside its package";
  const std::string no_package = "the update manifest lists no package";
  struct Case {
    const char* what;
    std::string manifest;
    std::string error;  // "accepted" when it passes
  } cases[] = {
      {"empty", "", not_valid},
      {"cut short", "{", not_valid},
      {"an array", "[]", not_valid},
      {"text after the object", Manifest("1", R"("2")", packages, files) + " 1", not_valid},
      {"white space after the object", Manifest("1", R"("2")", packages, files) + " \n", "accepted"},
      {"not JSON and no signature needed to say so", "format=1", not_valid},

      {"no format, no version", Manifest("", "", packages, files), unknown_format},
      {"format as a string", Manifest(R"("1")", R"("2")", packages, files), unknown_format},
      {"format 2", Manifest("2", R"("2")", packages, files), unknown_format},
      {"format 0", Manifest("0", R"("2")", packages, files), unknown_format},
      {"format 1.0", Manifest("1.0", R"("2")", packages, files), "accepted"},
      {"format 01", Manifest("01", R"("2")", packages, files), "accepted"},
      {"format 1e0", Manifest("1e0", R"("2")", packages, files), "accepted"},
      {"format of 19 bytes", Manifest("0000000000000000001", R"("2")", packages, files), "accepted"},
      {"format of 20 bytes", Manifest("00000000000000000001", R"("2")", packages, files), unknown_format},
      {"format -1", Manifest("-1", R"("2")", packages, files), unknown_format},
      {"format true", Manifest("true", R"("2")", packages, files), unknown_format},
      {"format an object", Manifest("{}", R"("2")", packages, files), unknown_format},
      {"format an array", Manifest("[1]", R"("2")", packages, files), unknown_format},

      {"no version", Manifest("1", "", packages, files), no_version},
      {"empty version", Manifest("1", R"("")", packages, files), no_version},
      {"version a number", Manifest("1", "2", packages, files), no_version},
      {"pre-release version", Manifest("1", R"("2.0.0-beta")", packages, files), no_version},
      {"version with a trailing dot", Manifest("1", R"("2.")", packages, files), no_version},
      {"version with a V", Manifest("1", R"("V2.0")", packages, files), "accepted"},
      {"no version before a bad package",
       Manifest("1", "", R"({"windows":{}})", files), no_version},

      {"package without a name", Manifest("1", R"("2")", R"({"windows":{"size":1,"sha256":")" + kDigest + "\"}}", files),
       bad_package},
      {"package with an empty name", Manifest("1", R"("2")", R"({"windows":)" + Package("") + "}", files), bad_package},
      {"package size a string", Manifest("1", R"("2")", R"({"windows":)" + Package("n", R"("1000")") + "}", files),
       bad_package},
      {"package size of 20 bytes",
       Manifest("1", R"("2")", R"({"windows":)" + Package("n", "10000000000000000000") + "}", files), bad_package},
      {"package size of 19 bytes",
       Manifest("1", R"("2")", R"({"windows":)" + Package("n", "9999999999999999999") + "}", files), "accepted"},
      {"package size negative", Manifest("1", R"("2")", R"({"windows":)" + Package("n", "-1") + "}", files),
       bad_package},
      {"package size null", Manifest("1", R"("2")", R"({"windows":)" + Package("n", "null") + "}", files),
       bad_package},
      {"package digest in capitals",
       Manifest("1", R"("2")", R"({"windows":)" + Package("n", "1000", "\"" + std::string(64, 'A') + "\"") + "}",
                files),
       bad_package},
      {"package digest of 63 digits",
       Manifest("1", R"("2")", R"({"windows":)" + Package("n", "1000", "\"" + std::string(63, 'a') + "\"") + "}",
                files),
       bad_package},
      {"package digest not hexadecimal",
       Manifest("1", R"("2")", R"({"windows":)" + Package("n", "1000", "\"" + std::string(64, 'g') + "\"") + "}",
                files),
       bad_package},
      {"a bad package of another platform",
       Manifest("1", R"("2")", R"({"linux":{"name":"x"},"windows":)" + Package() + "}", files), bad_package},
      {"a bad package before a bad file",
       Manifest("1", R"("2")", R"({"windows":{}})", R"({"windows":[{}]})"), bad_package},

      {"file without a path", WindowsManifest(R"({"size":1,"sha256":")" + kOtherDigest + "\"}"), bad_file},
      {"file path a number", WindowsManifest(R"({"path":1,"size":1,"sha256":")" + kOtherDigest + "\"}"), bad_file},
      {"file without a size", WindowsManifest(File("a", "", "null")), bad_file},
      {"file size a string", WindowsManifest(File("a", "", R"("10")")), bad_file},
      {"file digest with one capital",
       WindowsManifest(File("a", "", "10", "\"" + kOtherDigest.substr(0, 63) + "F\"")), bad_file},
      {"file digest a number", WindowsManifest(File("a", "", "10", "1")), bad_file},
      {"a bad file after a good one", WindowsManifest(File("a") + "," + File("b", "", "x")), bad_file},
      {"a file that is no object", WindowsManifest(R"("qv.exe")"), bad_file},

      {"offset without packed", WindowsManifest(File("a", R"(,"offset":100)")), outside},
      {"packed without offset", WindowsManifest(File("a", R"(,"packed":100)")), outside},
      {"packed 0", WindowsManifest(File("a", R"(,"offset":100,"packed":0)")), outside},
      {"offset a string", WindowsManifest(File("a", R"(,"offset":"100","packed":5)")), outside},
      {"packed null", WindowsManifest(File("a", R"(,"offset":100,"packed":null)")), outside},
      {"offset 0 packed 1", WindowsManifest(File("a", R"(,"offset":0,"packed":1)")), "accepted"},
      {"ends at the package's end", WindowsManifest(File("a", R"(,"offset":999,"packed":1)")), "accepted"},
      {"one byte past the package's end", WindowsManifest(File("a", R"(,"offset":999,"packed":2)")), outside},
      {"offset past the package's end", WindowsManifest(File("a", R"(,"offset":1001,"packed":1)")), outside},
      {"a sum that would wrap around",
       WindowsManifest(File("a", R"(,"offset":999,"packed":9999999999999999999)")), outside},
      {"no bound without the platform's package",
       Manifest("1", R"("2")", packages, R"({"linux":[)" + File("a", R"(,"offset":5000,"packed":9000)") + "]}"),
       "accepted"},
      {"a bad file of a platform without a package",
       Manifest("1", R"("2")", packages, R"({"linux":[)" + File("a", R"(,"offset":5000,"packed":0)") + "]}"), outside},
      {"a bad file before no package", Manifest("1", R"("2")", "", R"({"windows":[{}]})"), bad_file},

      {"no packages", Manifest("1", R"("2")", "", files), no_package},
      {"empty packages", Manifest("1", R"("2")", "{}", files), no_package},
      {"packages an array", Manifest("1", R"("2")", "[" + Package() + "]", files), no_package},
      {"files not an object", Manifest("1", R"("2")", packages, "[" + File("a") + "]"), "accepted"},
      {"no files", Manifest("1", R"("2")", packages, ""), "accepted"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.manifest), c.error) << c.what << ": " << c.manifest;
}

TEST(ManifestReader, ReleasePublicKey) {
  const std::string built_in = *qv::setup::HexDecode(kReleasePublicKeyHex, 32);
  const std::string test_hex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
  const std::string test_key = *qv::setup::HexDecode(test_hex, 32);
  {
    ScopedEnvironment off("QV_UPDATE_TEST", std::nullopt);
    ScopedEnvironment key("QV_UPDATE_TEST_PUBLIC_KEY", test_hex);
    EXPECT_EQ(ReleasePublicKey(), built_in);  // outside test mode the variable counts for nothing
  }
  UpdateTestMode on;
  struct Case {
    std::optional<std::string> variable;
    std::string key;
  } cases[] = {
      {std::nullopt, built_in},
      {test_hex, test_key},
      {" \t" + test_hex + "\r\n", test_key},
      {"00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff", test_key},
      {test_hex.substr(1), built_in},
      {test_hex + "0", built_in},
      {test_hex.substr(0, 63) + "g", built_in},
      {"yes", built_in},
  };
  for (const Case& c : cases) {
    ScopedEnvironment key("QV_UPDATE_TEST_PUBLIC_KEY", c.variable);
    EXPECT_EQ(ReleasePublicKey(), c.key) << c.variable.value_or("(unset)");
  }
}

TEST(ManifestReader, NothingIsReadBeforeTheSignatureHolds) {
  const std::string key(32, '\x11');
  const std::string zero_signature(128, '0');
  struct Case {
    std::string signature_hex;
    std::string key;
    std::string error;
  } cases[] = {
      {"", key, "the signature file is not a signature"},
      {zero_signature.substr(1), key, "the signature file is not a signature"},
      {zero_signature + "00", key, "the signature file is not a signature"},
      {std::string(127, '0') + "x", key, "the signature file is not a signature"},
      {zero_signature, "", "no release key"},
      {zero_signature, key + "x", "no release key"},
      {zero_signature, key, "the update manifest's signature is not valid"},
      {"\n " + zero_signature + " \n", key, "the update manifest's signature is not valid"},
  };
  for (const Case& c : cases) {
    // A manifest that the reader would refuse, so only the signature checks can speak.
    std::string error;
    EXPECT_FALSE(ParseSignedManifest("not a manifest", c.signature_hex, c.key, &error));
    EXPECT_EQ(error, c.error) << c.signature_hex;
    EXPECT_FALSE(ParseSignedManifest("not a manifest", c.signature_hex, c.key, nullptr));
  }
}

}  // namespace
