#include "selftest/test-file-list.h"

namespace qv::setup {

std::string RenderFilesJson(const FixtureFiles& files) {
  std::string text = "{\"format\": 1, \"files\": [";
  const std::string zero_digest(64, '0');
  bool first = true;
  for (const auto& [path, content] : files) {
    if (!first) text += ", ";
    first = false;
    text += "{\"path\": \"" + path + "\", \"size\": " + std::to_string(content.size()) + ", \"sha256\": \"" +
            zero_digest + "\"}";
  }
  text += "]}\n";
  return text;
}

}  // namespace qv::setup
