#pragma once
// The one small JSON reader of the program: file lists, route records, the
// outside tools' JSON files, the release document and the signed update
// manifest all go through it. It keeps numbers, true, false and null as text
// (bare tokens), is lenient in a few places a strict reader is not, and bounds
// nesting so that stack use stays bounded whatever the input.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// One node of a parsed document.
//   object:     is_object, members (possibly empty)
//   string:     is_string, text (possibly empty, the decoded string)
//   bare token: neither flag, text never empty (the token exactly as written)
//   array:      neither flag, items (possibly empty), text empty
// Members are ordered by byte-wise comparison of their keys, not by document
// order. The members are declared so that destruction releases the items,
// then the members, then the text.
struct JsonValue {
  std::string text;
  std::map<std::string, JsonValue, std::less<>> members;
  std::vector<JsonValue> items;
  bool is_object = false;
  bool is_string = false;
};

// Read position over a caller-owned buffer (not necessarily zero-terminated).
struct JsonCursor {
  const char* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
};

// Deepest level at which a value may still be read: the top-level value is at
// depth 0, so at most 17 containers nest and the innermost of 17 is empty.
inline constexpr int kJsonMaxDepth = 16;

// Reads one value at the cursor into `value` (fresh and empty). On success the
// cursor stands just behind the value; on failure both are to be discarded.
bool ParseJsonValue(JsonCursor& cursor, JsonValue& value, int depth);

// Reads a quoted string starting at the opening quote and appends its decoded
// bytes to `out`; on success the cursor stands behind the closing quote.
bool ParseJsonString(JsonCursor& cursor, std::string& out);

// Releases the items, then the members (keys and values), then the text.
void DestroyJsonValue(JsonValue& value);

// Steps over space, tab, LF, VT, FF and CR.
void SkipJsonWhiteSpace(JsonCursor& cursor);

// How every reader takes a whole document: one value at depth 0, nothing but
// white space after it, and an object at the top. Anything else: no value.
std::optional<JsonValue> ParseJsonDocument(std::string_view text);

// The member stored under exactly `key`, or null (also for non-objects).
const JsonValue* FindJsonMember(const JsonValue& object, std::string_view key);

}  // namespace qv::setup
