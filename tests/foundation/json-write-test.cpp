#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/text/json-write.h"
#include "foundation/text/json.h"

namespace {

using qv::setup::JsonQuoted;

TEST(JsonWrite, EscapesWhatWouldBreakTheString) {
  struct Case {
    std::string text;
    std::string quoted;
  };
  const std::vector<Case> cases = {
      {"", R"("")"},
      {"plain text", R"("plain text")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\game\\", R"("C:\\game\\")"},
      {"a\nb\tc", R"("a\nb\tc")"},
      {std::string("\r\x01\x1f\x7f", 4), "\"\\u000d\\u0001\\u001f\x7f\""},
      {std::string("nul\0end", 7), R"("nul\u0000end")"},
      {"Grüße/日本", "\"Grüße/日本\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonQuoted(c.text), c.quoted) << c.quoted;
}

TEST(JsonWrite, EveryByteReadsBackUnchanged) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::optional<qv::setup::JsonValue> document = qv::setup::ParseJsonDocument("{\"k\": " + JsonQuoted(all) + "}");
  ASSERT_TRUE(document);
  EXPECT_EQ(document->members.at("k").text, all);
}

}  // namespace
