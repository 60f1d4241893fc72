#pragma once
// Writing JSON text for the records the program keeps. Values that come from
// outside (an outside tool's own JSON, file names) can hold quotes,
// backslashes and control characters, so every string is escaped: a record
// must always parse again and read back to the texts that were written.

#include <string>
#include <string_view>

namespace qv::setup {

// The text as a JSON string, quotes included: '"' and '\' escaped, LF and tab
// as \n and \t, every other byte below 0x20 as \u00XX (the program's own
// reader keeps those exactly, where it drops \b, \f and \r). Other bytes pass
// unchanged, so UTF-8 stays UTF-8.
std::string JsonQuoted(std::string_view text);

}  // namespace qv::setup
