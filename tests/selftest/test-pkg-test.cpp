#include "selftest/fixtures/test-pkg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::setup::BuildTestPkg;
using qv::setup::BuildTestPkgEntry;

TEST(TestPkg, LayoutWithA69ByteIcon) {
  const std::string icon(69, 'i');
  std::string image = BuildTestPkg(icon, false);
  ASSERT_EQ(image.size(), 271u);
  EXPECT_EQ(image.substr(0, 4), std::string("\x7F" "CNT", 4));
  EXPECT_EQ(image.substr(4, 12), std::string(12, '\0'));
  EXPECT_EQ(image.substr(0x10, 4), std::string("\0\0\0\x02", 4));
  EXPECT_EQ(image.substr(0x18, 4), std::string("\0\0\0\x80", 4));
  EXPECT_EQ(image.substr(0x1C, 100), std::string(100, '\0'));
  EXPECT_EQ(image.substr(0x80, 32), BuildTestPkgEntry(0x200, 0x40000000u, 0xC0, 10));
  EXPECT_EQ(image.substr(0xA0, 32), BuildTestPkgEntry(0x1200, 0, 0xCA, 69));
  EXPECT_EQ(image.substr(0xA0 + 20, 4), std::string("\0\0\0\x45", 4));
  EXPECT_EQ(image.substr(0xC0, 10), std::string("icon0.png\0", 10));
  EXPECT_EQ(image.substr(202), icon);
}

TEST(TestPkg, EncryptedChangesOneByte) {
  std::string plain = BuildTestPkg("0123456789", false);
  std::string encrypted = BuildTestPkg("0123456789", true);
  ASSERT_EQ(plain.size(), encrypted.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    if (i == 0xA8) {
      EXPECT_EQ(plain[i], '\0');
      EXPECT_EQ(static_cast<unsigned char>(encrypted[i]), 0x80);
    } else {
      EXPECT_EQ(plain[i], encrypted[i]) << i;
    }
  }
}

TEST(TestPkg, EmptyIconAndEntryBytes) {
  std::string image = BuildTestPkg("", false);
  EXPECT_EQ(image.size(), 202u);
  EXPECT_EQ(image.substr(0xA0 + 20, 4), std::string(4, '\0'));
  EXPECT_EQ(BuildTestPkgEntry(0x01020304, 0xA0B0C0D0u, 0x11223344, 0x55667788),
            std::string("\x01\x02\x03\x04\0\0\0\0\xA0\xB0\xC0\xD0\0\0\0\0\x11\x22\x33\x44\x55\x66\x77\x88"
                        "\0\0\0\0\0\0\0\0",
                        32));
}

}  // namespace
