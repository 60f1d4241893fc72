#include "update/version-order.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "update/build-identity.h"

namespace {

using qv::update::CompareVersions;
using qv::update::IsValidVersion;
using qv::update::SplitVersion;

TEST(VersionOrder, SplitVersion) {
  const struct {
    std::string text;
    std::vector<int> components;
    std::string suffix;
  } cases[] = {
      {"1.2.3", {1, 2, 3}, ""},
      {"v1.2.0-rc1", {1, 2, 0}, "rc1"},
      {"V10.0.12", {10, 0, 12}, ""},
      {"1.2.0-beta-2", {1, 2, 0}, "beta-2"},
      {"1.2.0-", {1, 2, 0}, ""},
      {"3+build.4", {3, 4}, ""},
      {"1.x.2", {1, 0, 2}, ""},
      {".1", {0, 1}, ""},
      {"1..2", {1, 0, 2}, ""},
      {"1.", {1}, ""},
      {"1..", {1, 0}, ""},
      {"2147483647.1", {INT_MAX, 1}, ""},
      {"2147483648.1", {0, 1}, ""},
      {"99999999999.5", {0, 5}, ""},
      {"-rc1", {}, "rc1"},
      {"v", {}, ""},
      {"V", {}, ""},
      {"", {}, ""},
      {"vv1", {0}, ""},
  };
  for (const auto& c : cases) {
    const auto parts = SplitVersion(c.text);
    EXPECT_EQ(parts.components, c.components) << c.text;
    EXPECT_EQ(parts.suffix, c.suffix) << c.text;
  }
  // The suffix is a view into the caller's text.
  const std::string text = "1.0-beta";
  EXPECT_EQ(SplitVersion(text).suffix.data(), text.data() + 4);
}

TEST(VersionOrder, CompareVersions) {
  const struct {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"1.1", "1.1.0", 0},
      {"V1.2.0", "1.2.0", 0},
      {"v0.2.0", "0.2.0", 0},
      {"1.2.0-beta", "1.2.0", -1},
      {"1.2.0", "1.2.0-beta", 1},
      {"1.2.0-alpha", "1.2.0-beta", -1},
      {"1.2.0-rc", "1.2.0-rc1", -1},
      {"1.2.0-rc1", "1.2.0-rc1", 0},
      {"1.10.0", "1.9.9", 1},
      {"0.10.0", "0.9.2", 1},
      {"0.2.0-rc1", "0.2.0", -1},
      {"0.1", "0.1.0", 0},
      {"1.0.1", "1.0.0.9", 1},
      {"1.0.0.1", "1.0.0", 1},
      {"99999999999", "0", 0},
      {"99999999999.1", "0.1", 0},
      {"2.0", "10.0", -1},
      {"1.1.0", "1.1.0", 0},
      {"", "0", 0},
      {"1.2.0-\xff", "1.2.0-a", 1},  // bytes compare unsigned
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
  }
}

TEST(VersionOrder, IsValidVersion) {
  const std::string sixty_four = "1" + std::string(62, '0') + "1";  // 64 bytes
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"1", true},
      {"V1.2.3", true},
      {"v1.2.3", true},
      {"10.0.12", true},
      {"0.0.0", true},
      {sixty_four, true},
      {"v" + sixty_four.substr(1), true},
      {sixty_four + "1", false},
      {"v" + sixty_four, false},  // 65 bytes before the "v" is dropped
      {"", false},
      {"V", false},
      {"v", false},
      {"1.", false},
      {".1", false},
      {"1..2", false},
      {"1.2.0-beta", false},
      {"1.2.0-rc1", false},
      {"1.2a", false},
      {"vv1", false},
      {" 1", false},
      {"1 ", false},
      {"+1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidVersion(c.text), c.valid) << c.text;
  }
}

TEST(BuildIdentity, VersionPlatformAndPackageNames) {
  EXPECT_EQ(qv::update::CurrentVersion(), "1.1.0");
  EXPECT_NE(qv::update::CurrentVersion(), qv::update::kPlaceholderVersion);
  EXPECT_TRUE(IsValidVersion(qv::update::CurrentVersion()));
  EXPECT_EQ(qv::update::CurrentPlatform(), "windows");

  const struct {
    const char* platform;
    const char* package;
    const char* setup_package;
  } cases[] = {
      {"linux", "Q.V.PC.Rure.Setup-linux", "Q.V.PC.Rure.Setup-linux"},
      {"windows", "Q.V.PC.Rure.Setup.exe", "Q.V.PC.Rure.Setup.exe"},
      {"macos-x64", "Q.V.PC.Rure-macOS-x64.zip", ""},
      {"macos-arm64", "Q.V.PC.Rure-macOS-arm64.zip", ""},
      {"Windows", "", ""},
      {"", "", ""},
      {"win", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qv::update::PackageFileName(c.platform), c.package) << c.platform;
    EXPECT_EQ(qv::update::SetupPackageFileName(c.platform), c.setup_package) << c.platform;
  }
  EXPECT_EQ(qv::update::PackageFileName(qv::update::CurrentPlatform()), "Q.V.PC.Rure.Setup.exe");
}

}  // namespace
