#include "foundation/text/json.h"

#include <utility>

namespace qv::setup {
namespace {

bool AtEnd(const JsonCursor& cursor) { return cursor.pos >= cursor.size; }

char Peek(const JsonCursor& cursor) { return cursor.data[cursor.pos]; }

bool IsJsonWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsTokenByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code point of the four bytes at `digits`: the leading hex digits (one to
// four of them, up to the first byte that is not one); -1 when the first byte
// is not a hex digit.
long LeadingHexValue(const char* digits) {
  if (HexDigitValue(digits[0]) < 0) return -1;
  long cp = 0;
  for (int i = 0; i < 4; ++i) {
    int value = HexDigitValue(digits[i]);
    if (value < 0) break;
    cp = cp * 16 + value;
  }
  return cp;
}

// The cursor stands on the 'u'; the four bytes after it are always consumed,
// so the cursor ends on the last of them. A high surrogate directly followed by
// an escaped low surrogate is one character (that is how JSON writers escape
// characters outside the basic plane, Python's json among them) and becomes
// one four-byte sequence; a lone surrogate is kept as its own three bytes.
bool ParseUnicodeEscape(JsonCursor& cursor, std::string& out) {
  if (cursor.size - cursor.pos <= 4) return false;  // the four bytes must lie inside the text
  const char* escape = cursor.data + cursor.pos;
  const long cp = LeadingHexValue(escape + 1);
  if (cp < 0) return false;
  cursor.pos += 4;
  if (cp >= 0xD800 && cp <= 0xDBFF && cursor.size - cursor.pos > 6 && escape[5] == '\\' && escape[6] == 'u') {
    const long low = LeadingHexValue(escape + 7);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<unsigned>(cp) - 0xD800) << 10) + (static_cast<unsigned>(low) - 0xDC00));
      cursor.pos += 6;
      return true;
    }
  }
  AppendUtf8(out, static_cast<unsigned>(cp));
  return true;
}

bool ParseContainer(JsonCursor& cursor, JsonValue& value, int depth) {
  value.is_object = Peek(cursor) == '{';
  const char closing = value.is_object ? '}' : ']';
  ++cursor.pos;
  SkipJsonWhiteSpace(cursor);
  if (!AtEnd(cursor) && Peek(cursor) == closing) {
    ++cursor.pos;
    return true;
  }
  for (;;) {
    SkipJsonWhiteSpace(cursor);
    std::string key;
    if (value.is_object) {
      if (!ParseJsonString(cursor, key)) return false;
      SkipJsonWhiteSpace(cursor);
      if (AtEnd(cursor) || Peek(cursor) != ':') return false;
      ++cursor.pos;
    }
    JsonValue entry;
    if (!ParseJsonValue(cursor, entry, depth + 1)) return false;
    if (value.is_object) {
      value.members.insert_or_assign(std::move(key), std::move(entry));  // the later of equal keys wins
    } else {
      value.items.push_back(std::move(entry));
    }
    SkipJsonWhiteSpace(cursor);
    if (AtEnd(cursor)) return false;
    const char next = Peek(cursor);
    ++cursor.pos;
    if (next == ',') continue;
    return next == closing;
  }
}

bool ParseBareToken(JsonCursor& cursor, JsonValue& value) {
  const std::size_t start = cursor.pos;
  while (!AtEnd(cursor) && IsTokenByte(Peek(cursor))) ++cursor.pos;
  if (cursor.pos == start) return false;
  value.text.assign(cursor.data + start, cursor.pos - start);
  return true;
}

}  // namespace

void SkipJsonWhiteSpace(JsonCursor& cursor) {
  while (!AtEnd(cursor) && IsJsonWhiteSpace(Peek(cursor))) ++cursor.pos;
}

bool ParseJsonValue(JsonCursor& cursor, JsonValue& value, int depth) {
  if (depth > kJsonMaxDepth) return false;
  SkipJsonWhiteSpace(cursor);
  if (AtEnd(cursor)) return false;
  const char first = Peek(cursor);
  if (first == '"') {
    value.is_string = true;
    return ParseJsonString(cursor, value.text);
  }
  if (first == '{' || first == '[') return ParseContainer(cursor, value, depth);
  return ParseBareToken(cursor, value);
}

bool ParseJsonString(JsonCursor& cursor, std::string& out) {
  if (AtEnd(cursor) || Peek(cursor) != '"') return false;
  for (;;) {
    ++cursor.pos;
    if (AtEnd(cursor)) return false;  // unterminated
    const char c = Peek(cursor);
    if (c == '"') {
      ++cursor.pos;
      return true;
    }
    if (c != '\\') {
      out += c;  // raw bytes, control bytes included, pass unvalidated
      continue;
    }
    ++cursor.pos;
    if (AtEnd(cursor)) return false;
    switch (const char letter = Peek(cursor)) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u':
        if (!ParseUnicodeEscape(cursor, out)) return false;
        break;
      default:
        out += letter;  // \" \\ \/ and anything else stand for themselves
        break;
    }
  }
}

void DestroyJsonValue(JsonValue& value) {
  value.items.clear();
  value.members.clear();
  value.text.clear();
}

std::optional<JsonValue> ParseJsonDocument(std::string_view text) {
  JsonCursor cursor{text.data(), text.size(), 0};
  JsonValue value;
  if (!ParseJsonValue(cursor, value, 0)) return std::nullopt;
  SkipJsonWhiteSpace(cursor);
  if (cursor.pos != cursor.size || !value.is_object) return std::nullopt;
  return value;
}

const JsonValue* FindJsonMember(const JsonValue& object, std::string_view key) {
  auto found = object.members.find(key);
  return found == object.members.end() ? nullptr : &found->second;
}

}  // namespace qv::setup
