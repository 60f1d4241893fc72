#include "foundation/text/hex-text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using qv::setup::HexDecode;
using qv::setup::HexEncode;

const std::string kDigits64 = "000102030405060708090a0b0c0d0e0f" "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF";

std::string Bytes64() {
  std::string bytes;
  for (int i = 0; i < 16; ++i) bytes += static_cast<char>(i);
  for (int i = 0; i < 16; ++i) bytes += static_cast<char>(0xF0 + i);
  return bytes;
}

TEST(HexText, DecodesTrimmedTextOfExactlyTheAskedLength) {
  EXPECT_EQ(HexDecode(kDigits64, 32), Bytes64());
  EXPECT_EQ(HexDecode(" " + kDigits64 + "\n", 32), Bytes64());
  EXPECT_EQ(HexDecode("\t\v\f\r " + kDigits64 + "\r\n \t", 32), Bytes64());
  EXPECT_EQ(HexDecode("aBcD", 2), std::string("\xAB\xCD", 2));
  EXPECT_EQ(HexDecode("", 0), std::string());
  EXPECT_EQ(HexDecode(" \n ", 0), std::string());
}

TEST(HexText, RefusesEverythingElse) {
  const struct {
    std::string text;
    std::size_t n;
  } cases[] = {
      {kDigits64.substr(1), 32},                       // 63 digits
      {kDigits64 + "0", 32},                           // 65 digits
      {kDigits64 + "00", 32},                          // 66 digits
      {kDigits64.substr(0, 30) + " " + kDigits64.substr(31), 32},  // inner blank
      {kDigits64.substr(0, 63) + "g", 32},
      {"0x" + kDigits64.substr(2), 32},
      {"+1", 1},
      {"-1", 1},
      {"1 2", 1},
      {"12", 0},
      {"", 1},
      {std::string("1\0", 2), 1},
      {"\xC3\xA9", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexDecode(c.text, c.n), std::nullopt) << c.text << " n=" << c.n;
  }
}

TEST(HexText, EncodesLowerCaseHighNibbleFirst) {
  EXPECT_EQ(HexEncode("\x00\xAB\xFF", 3), "00abff");
  EXPECT_EQ(HexEncode("", 0), "");
  std::string bytes = Bytes64();
  EXPECT_EQ(HexEncode(bytes.data(), bytes.size()), "000102030405060708090a0b0c0d0e0ff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
  EXPECT_EQ(HexDecode(HexEncode(bytes.data(), bytes.size()), 32), bytes);
}

}  // namespace
