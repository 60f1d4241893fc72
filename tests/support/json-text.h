#pragma once

#include <string>
#include <string_view>

namespace qv::test {

// The text as a JSON string, quotes included: line feeds, quotes and
// backslashes escaped, every other byte as it is (the program's JSON reader
// keeps raw bytes, but drops the escape of a carriage return).
std::string JsonString(std::string_view text);

}  // namespace qv::test
