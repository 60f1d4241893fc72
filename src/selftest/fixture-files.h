#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qv::setup {

// Test material: pairs of a relative UTF-8 path with '/' separators and the
// file's binary content, in output order.
using FixtureFiles = std::vector<std::pair<std::string, std::string>>;

}  // namespace qv::setup
