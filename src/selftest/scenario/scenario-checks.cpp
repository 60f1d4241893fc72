#include "selftest/scenario/scenario-checks.h"

#include <exception>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

bool ItemExists(const std::filesystem::path& path) { return ReadItemInfo(path).has_value(); }

void Expect(bool passed, std::string_view token, std::string& tokens) {
  if (!passed) tokens += token;
}

std::string CaughtToken(std::string_view prefix, const std::exception& error) {
  return std::string(prefix) + error.what();
}

}  // namespace qv::setup
