#pragma once

#include <string>
#include <string_view>

namespace qv::test {

// The text as a JSON string, quotes included: quotes, backslashes and control
// bytes escaped, every other byte (UTF-8 sequences included) as it is.
std::string JsonString(std::string_view text);

}  // namespace qv::test
