#include "reference-vectors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "foundation/text/hex-text.h"
#include "support/test-paths.h"

namespace qv::test {
namespace {

std::optional<std::string> Field(std::istringstream& line, std::size_t expected_bytes = std::string::npos) {
  std::string text;
  if (!(line >> text)) return std::nullopt;
  if (text == "-") text.clear();
  const std::size_t n = expected_bytes == std::string::npos ? text.size() / 2 : expected_bytes;
  return qv::setup::HexDecode(text, n);
}

}  // namespace

ReferenceVectors LoadReferenceVectors() {
  ReferenceVectors vectors;
  const auto path = TestBinaryFolder() / L"reference-vectors.txt";
  std::ifstream in(path);
  if (!in) {
    ADD_FAILURE() << "missing " << path.string() << " (ctest writes it with tools/make-reference-vectors.sh)";
    return vectors;
  }
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream line(text);
    std::string kind;
    line >> kind;
    if (kind == "sha512") {
      auto message = Field(line);
      auto digest = Field(line, 64);
      if (message && digest) {
        vectors.digests.push_back({*message, *digest});
        continue;
      }
    } else if (kind == "ed25519") {
      auto key = Field(line, 32);
      auto message = Field(line);
      auto signature = Field(line, 64);
      if (key && message && signature) {
        vectors.signatures.push_back({*key, *message, *signature});
        continue;
      }
    }
    ADD_FAILURE() << "malformed line in " << path.string() << ": " << text.substr(0, 80);
  }
  return vectors;
}

}  // namespace qv::test
