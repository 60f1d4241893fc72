#include "foundation/text/command-line.h"

namespace qv::setup {

std::wstring QuoteArg(std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) return std::wstring(arg);

  std::wstring quoted = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == arg.size()) {
      // Before the closing quotation mark each backslash must be doubled.
      quoted.append(2 * backslashes, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      quoted.append(2 * backslashes + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(arg[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

std::wstring JoinCommandLine(const std::vector<std::wstring>& args) {
  std::wstring line;
  for (const std::wstring& arg : args) {
    if (!line.empty()) line.push_back(L' ');  // a quoted argument is never empty
    line += QuoteArg(arg);
  }
  return line;
}

}  // namespace qv::setup
