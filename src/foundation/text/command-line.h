#pragma once
// Command lines for child processes, quoted so that the platform's splitter
// (CommandLineToArgvW, and the C runtime's, which reads the same way) gives
// back exactly the arguments written.

#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// The argument as it must stand in a command line: unchanged when it is not
// empty and holds no blank, tab, line feed, vertical tab or quotation mark;
// otherwise in quotation marks, with the backslashes before a quotation mark
// (inner or the closing one) doubled and inner quotation marks escaped.
std::wstring QuoteArg(std::wstring_view arg);

// Every element quoted by QuoteArg, joined by single blanks.
std::wstring JoinCommandLine(const std::vector<std::wstring>& args);

}  // namespace qv::setup
