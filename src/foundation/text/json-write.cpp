#include "foundation/text/json-write.h"

namespace qv::setup {

std::string JsonQuoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (byte < 0x20) {
          quoted += "\\u00";
          quoted += kHex[byte >> 4];
          quoted += kHex[byte & 0xF];
        } else {
          quoted += c;
        }
        break;
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace qv::setup
