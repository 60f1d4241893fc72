#include "foundation/text/hex-text.h"

namespace qv::setup {
namespace {

bool IsTrimmedSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> HexDecode(std::string_view text, std::size_t n) {
  while (!text.empty() && IsTrimmedSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTrimmedSpace(text.back())) text.remove_suffix(1);
  if (n > text.size() / 2 || text.size() != 2 * n) return std::nullopt;
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    int high = DigitValue(text[2 * i]);
    int low = DigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<char>((high << 4) | low);
  }
  return bytes;
}

std::string HexEncode(const void* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* in = static_cast<const unsigned char*>(bytes);
  std::string text(2 * length, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    text[2 * i] = kDigits[in[i] >> 4];
    text[2 * i + 1] = kDigits[in[i] & 0x0F];
  }
  return text;
}

}  // namespace qv::setup
