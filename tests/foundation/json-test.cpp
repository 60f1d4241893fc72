#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/json.h"

namespace {

using qv::setup::FindJsonMember;
using qv::setup::JsonCursor;
using qv::setup::JsonValue;
using qv::setup::ParseJsonDocument;
using qv::setup::ParseJsonString;
using qv::setup::ParseJsonValue;

// One value at depth 0, as ParseJsonValue leaves it; nullopt on failure.
std::optional<JsonValue> ParseValue(std::string_view text, size_t* end = nullptr) {
  JsonCursor cursor{text.data(), text.size(), 0};
  JsonValue value;
  if (!ParseJsonValue(cursor, value, 0)) return std::nullopt;
  if (end) *end = cursor.pos;
  return value;
}

std::optional<std::string> DecodeString(std::string_view literal) {
  JsonCursor cursor{literal.data(), literal.size(), 0};
  std::string out;
  if (!ParseJsonString(cursor, out)) return std::nullopt;
  EXPECT_EQ(cursor.pos, literal.size()) << literal;
  return out;
}

std::string Nested(int depth, std::string_view innermost) {
  return std::string(depth, '[') + std::string(innermost) + std::string(depth, ']');
}

TEST(JsonReader, ContainersAndKinds) {
  auto object = ParseValue("{ \"s\": \"x\", \"n\": -0.5e+3, \"a\": [true, null, 1.2.3, 0x1F], \"o\": {} }");
  ASSERT_TRUE(object);
  EXPECT_TRUE(object->is_object);
  EXPECT_FALSE(object->is_string);
  EXPECT_TRUE(object->text.empty());

  const JsonValue* s = FindJsonMember(*object, "s");
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->is_string);
  EXPECT_EQ(s->text, "x");

  const JsonValue* n = FindJsonMember(*object, "n");
  ASSERT_NE(n, nullptr);
  EXPECT_FALSE(n->is_string);
  EXPECT_FALSE(n->is_object);
  EXPECT_EQ(n->text, "-0.5e+3");

  const JsonValue* a = FindJsonMember(*object, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(a->is_object || a->is_string);
  EXPECT_TRUE(a->text.empty());
  ASSERT_EQ(a->items.size(), 4u);
  EXPECT_EQ(a->items[0].text, "true");
  EXPECT_EQ(a->items[1].text, "null");
  EXPECT_EQ(a->items[2].text, "1.2.3");
  EXPECT_EQ(a->items[3].text, "0x1F");

  const JsonValue* o = FindJsonMember(*object, "o");
  ASSERT_NE(o, nullptr);
  EXPECT_TRUE(o->is_object);
  EXPECT_TRUE(o->members.empty());
  EXPECT_EQ(FindJsonMember(*object, "missing"), nullptr);
  EXPECT_EQ(FindJsonMember(*s, "x"), nullptr);
}

TEST(JsonReader, AcceptsAndRefusesByTable) {
  struct Case {
    std::string_view text;
    bool ok;
  } cases[] = {
      {"{}", true},
      {"{ \t\r\n\v\f}", true},
      {"[]", true},
      {"[ ]", true},
      {"\"\"", true},
      {"x", true},
      {"[1,2]", true},
      {"{\"a\":1,}", false},  // trailing comma in an object
      {"[1,]", false},        // and in an array
      {"[1 2]", false},       // missing comma
      {"{a:1}", false},       // unquoted key
      {"{\"a\" 1}", false},   // missing colon
      {"{\"a\"", false},      // end after the key
      {"{\"a\":", false},     // end before the value
      {"[1", false},          // end before the closing bracket
      {"[1}", false},         // wrong closing byte
      {"\xEF\xBB\xBF{}", false},  // byte order mark
      {"", false},
      {"   ", false},
      {"\"abc", false},  // unterminated
      {"}", false},
      {",", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseValue(c.text).has_value(), c.ok) << c.text;
  }
}

TEST(JsonReader, CursorStandsBehindTheValue) {
  size_t end = 0;
  ASSERT_TRUE(ParseValue("  [1] tail", &end));
  EXPECT_EQ(end, 5u);
  ASSERT_TRUE(ParseValue("true,", &end));
  EXPECT_EQ(end, 4u);
  ASSERT_TRUE(ParseValue("\"a\\\"b\" ", &end));
  EXPECT_EQ(end, 6u);
}

TEST(JsonReader, DepthLimit) {
  EXPECT_TRUE(ParseValue(Nested(17, "")));
  EXPECT_FALSE(ParseValue(Nested(17, "1")));
  EXPECT_FALSE(ParseValue(Nested(17, "\"\"")));
  EXPECT_TRUE(ParseValue(Nested(16, "1")));
  EXPECT_FALSE(ParseValue(Nested(18, "")));
  // Objects count the same way.
  std::string objects;
  for (int i = 0; i < 16; ++i) objects += "{\"k\":";
  EXPECT_TRUE(ParseValue(objects + "{}" + std::string(16, '}')));
  EXPECT_FALSE(ParseValue(objects + "{\"k\":1}" + std::string(16, '}')));
  // A caller that starts deeper gets less room.
  std::string text = "[]";
  JsonCursor cursor{text.data(), text.size(), 0};
  JsonValue value;
  EXPECT_TRUE(ParseJsonValue(cursor, value, 16));
  JsonCursor again{text.data(), text.size(), 0};
  JsonValue other;
  EXPECT_FALSE(ParseJsonValue(again, other, 17));
  // Very deep input fails without exhausting the stack.
  EXPECT_FALSE(ParseValue(Nested(100000, "")));
}

TEST(JsonReader, LaterKeyWinsAndMembersAreInByteOrder) {
  auto object = ParseValue("{\"c\":3, \"a\":1, \"b\":\"x\", \"a\":2, \"B\":0, \"\xC3\xA9\":4, \"ab\":5}");
  ASSERT_TRUE(object);
  ASSERT_EQ(object->members.size(), 6u);
  EXPECT_EQ(FindJsonMember(*object, "a")->text, "2");
  std::vector<std::string> keys;
  for (const auto& [key, value] : object->members) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "ab", "b", "c", "\xC3\xA9"}));
}

TEST(JsonReader, StringEscapes) {
  struct Case {
    std::string_view literal;
    std::optional<std::string> decoded;
  } cases[] = {
      {R"("plain")", "plain"},
      {R"("a\nb\tc")", "a\nb\tc"},
      {R"("a\rb")", "a\rb"},
      {R"("\b\f\r")", "\b\f\r"},
      {R"("line\r\nnext")", "line\r\nnext"},
      {R"("\/\q\"\\")", "/q\"\\"},
      {R"("\u00e9")", "\xC3\xA9"},
      {R"("\u20AC")", "\xE2\x82\xAC"},
      {R"("\u0041")", "A"},
      {R"("\u07FF")", "\xDF\xBF"},
      {R"("\u0800")", "\xE0\xA0\x80"},
      {std::string_view("\"\\u0000\"", 8), std::string(1, '\0')},
      {R"("\u12G4x")", "\x12x"},  // leading digits only; all four bytes consumed
      {R"("\u1")", std::nullopt},   // the closing quote is one of the four bytes
      {R"("\uZ123")", std::nullopt},
      {R"("\u12)", std::nullopt},  // the four bytes run past the end
      {R"("\)", std::nullopt},
      {R"("abc)", std::nullopt},
      {"\"raw\n\x01\xC3\xA9\"", "raw\n\x01\xC3\xA9"},  // raw bytes pass unvalidated
      {R"(x)", std::nullopt},                          // not a string
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeString(c.literal), c.decoded) << c.literal;
  }
}

TEST(JsonReader, SurrogatePairsBecomeOneCharacter) {
  struct Case {
    std::string_view literal;
    std::string decoded;
  } cases[] = {
      // U+1F600 as JSON writers escape it (Python's json does).
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {R"("\ud83d\ude00!")", "\xF0\x9F\x98\x80!"},
      {R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},
      // Lone surrogates keep their own three bytes.
      {R"("\uD83D")", "\xED\xA0\xBD"},
      {R"("\uDE00")", "\xED\xB8\x80"},
      {R"("\uD83Dx")", "\xED\xA0\xBDx"},
      {R"("\uD83D\u0041")", "\xED\xA0\xBD" "A"},
      {R"("\uD83D\uD83D")", "\xED\xA0\xBD\xED\xA0\xBD"},
      {R"("\uD83D\n")", "\xED\xA0\xBD\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeString(c.literal), c.decoded) << c.literal;
  }
  // A low surrogate cut off by the end of the text is no pair and still fails as an escape.
  EXPECT_EQ(DecodeString(R"("\uD83D\uDE)"), std::nullopt);
}

TEST(JsonReader, DocumentRules) {
  EXPECT_TRUE(ParseJsonDocument("{}"));
  EXPECT_TRUE(ParseJsonDocument(" \n{\"a\":[]} \r\n\t"));
  EXPECT_FALSE(ParseJsonDocument("[]"));
  EXPECT_FALSE(ParseJsonDocument("\"text\""));
  EXPECT_FALSE(ParseJsonDocument("1"));
  EXPECT_FALSE(ParseJsonDocument("{} x"));
  EXPECT_FALSE(ParseJsonDocument("{}{}"));
  EXPECT_FALSE(ParseJsonDocument(std::string_view("{}\0", 3)));
  EXPECT_FALSE(ParseJsonDocument("\xEF\xBB\xBF{}"));
  EXPECT_FALSE(ParseJsonDocument(""));
}

TEST(JsonReader, DestroyAndMove) {
  auto parsed = ParseValue("{\"a\":[1,{\"b\":\"c\"}],\"d\":\"e\"}");
  ASSERT_TRUE(parsed);
  JsonValue moved;
  moved.text = "old";
  moved = std::move(*parsed);
  EXPECT_TRUE(moved.is_object);
  EXPECT_TRUE(moved.text.empty());
  EXPECT_EQ(moved.members.size(), 2u);
  EXPECT_TRUE(parsed->members.empty());

  JsonValue array = std::move(moved.members.at("a"));
  ASSERT_EQ(array.items.size(), 2u);
  qv::setup::DestroyJsonValue(array);
  EXPECT_TRUE(array.items.empty());
  qv::setup::DestroyJsonValue(moved);
  EXPECT_TRUE(moved.members.empty());
  EXPECT_TRUE(moved.text.empty());
}

// A buffer whose last byte sits directly before a page that cannot be read, so
// a read past the end of the text crashes the test instead of passing unseen.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t capacity) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    page_ = info.dwPageSize;
    span_ = (capacity + page_ - 1) / page_ * page_;
    base_ = static_cast<char*>(::VirtualAlloc(nullptr, span_ + page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_) ::VirtualProtect(base_ + span_, page_, PAGE_NOACCESS, &old);
  }
  ~GuardedBuffer() {
    if (base_) ::VirtualFree(base_, 0, MEM_RELEASE);
  }
  bool GuardActive() const { return base_ && ::IsBadReadPtr(base_ + span_, 1); }
  size_t capacity() const { return span_; }
  std::string_view Place(std::string_view bytes) {
    char* start = base_ + span_ - bytes.size();
    std::memcpy(start, bytes.data(), bytes.size());
    return {start, bytes.size()};
  }

 private:
  size_t page_ = 0;
  size_t span_ = 0;
  char* base_ = nullptr;
};

// A document shaped like the ones the program reads: a file list and a release
// document with escapes, nesting, numbers and literals.
const char kRealisticDocument[] =
    "{\n \"format\": 1,\n \"files\": [\n"
    "  {\"path\": \"qv.exe\", \"size\": 48213504, \"sha256\": "
    "\"7b9eb545291cc0f269ecf90837670ff421acb7593654a9897077c12a21247fb9\"},\n"
    "  {\"path\": \"shaders/caf\\u00e9 \\\"x\\\".bin\", \"size\": \"12\", \"sha256\": \"" 
    "0000000000000000000000000000000000000000000000000000000000000000\"},\n"
    "  {\"path\": \"fonts/\\uD83D\\uDE00.ttf\", \"size\": 0, \"sha256\": \"\\u0041\\/\\n\\t\"}\n"
    " ],\n \"release\": {\"tag_name\": \"v1.0.3\", \"draft\": false, \"prerelease\": null,\n"
    "  \"assets\": [[], {}, [[[1e-3, -2, +4.5]]], \"\"], \"body\": \"line\\r\\nnext \\u12G4\"}\n}";

TEST(JsonReader, RealisticDocumentParses) {
  auto document = ParseJsonDocument(kRealisticDocument);
  ASSERT_TRUE(document);
  const JsonValue* files = FindJsonMember(*document, "files");
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(files->items.size(), 3u);
  EXPECT_EQ(FindJsonMember(files->items[1], "path")->text, "shaders/caf\xC3\xA9 \"x\".bin");
  EXPECT_EQ(FindJsonMember(files->items[2], "sha256")->text, "A/\n\t");
  EXPECT_EQ(FindJsonMember(*FindJsonMember(*document, "release"), "body")->text, "line\r\nnext \x12");
}

TEST(JsonReader, EveryProperPrefixOfADocumentIsRefused) {
  const std::string_view document(kRealisticDocument);
  GuardedBuffer buffer(document.size());
  ASSERT_TRUE(buffer.GuardActive());
  for (size_t length = 0; length < document.size(); ++length) {
    EXPECT_FALSE(ParseJsonDocument(buffer.Place(document.substr(0, length)))) << length;
  }
  EXPECT_TRUE(ParseJsonDocument(buffer.Place(document)));
}

// Seeded mutants of the realistic document never crash, never read past their
// end (the guard page would fault) and leave the cursor inside the text.
TEST(JsonReader, MutantsNeverReadPastTheInput) {
  const std::string original(kRealisticDocument);
  const std::string structural = "{}[]\":,\\u0123456789abcdefABCDEF \n\t.-+eE";
  GuardedBuffer buffer(original.size() * 4 + 64);
  ASSERT_TRUE(buffer.GuardActive());
  std::mt19937 random(20240611u);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string mutant = original;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !mutant.empty(); ++e) {
      const size_t at = random() % mutant.size();
      switch (random() % 6) {
        case 0:
          mutant[at] = static_cast<char>(random() & 0xFF);
          break;
        case 1:
          mutant[at] = structural[random() % structural.size()];
          break;
        case 2:
          mutant.erase(at, 1 + random() % 8);
          break;
        case 3:
          mutant.insert(at, 1, structural[random() % structural.size()]);
          break;
        case 4:
          mutant.resize(at);  // cut short, often inside an escape
          break;
        default: {
          const size_t from = random() % mutant.size();
          const size_t length = std::min<size_t>(1 + random() % 40, mutant.size() - from);
          if (mutant.size() + length <= buffer.capacity()) mutant.insert(at, mutant.substr(from, length));
          break;
        }
      }
    }
    const std::string_view placed = buffer.Place(mutant);
    JsonCursor cursor{placed.data(), placed.size(), 0};
    JsonValue value;
    const bool ok = ParseJsonValue(cursor, value, 0);
    ASSERT_LE(cursor.pos, placed.size()) << "round " << round;
    if (ok && ParseJsonDocument(placed)) ++accepted;
  }
  // Some mutants (digits changed, text inside strings) stay valid documents.
  EXPECT_GT(accepted, 0);
}

}  // namespace
