#include "update/updater/role-arguments.h"

#include <limits>

namespace qv::setup {
namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The leading digits of `text` as a number, saturated at `limit` + 1 so that a
// long run of digits stays recognisably too large.
std::uint64_t LeadingNumber(std::wstring_view text, std::uint64_t limit) {
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (!IsDigit(c)) break;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    if (value > limit) return limit + 1;
  }
  return value;
}

}  // namespace

std::uint64_t ProcessIdArgument(std::wstring_view text) {
  constexpr std::uint64_t kLargestProcessId = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t value = LeadingNumber(text, kLargestProcessId);
  return value > kLargestProcessId ? 0 : value;
}

int LanguageArgument(std::wstring_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  const std::uint64_t value = LeadingNumber(text, kLastLanguage);
  if (negative || value < 1) return 0;
  return value > kLastLanguage ? kLastLanguage : static_cast<int>(value);
}

}  // namespace qv::setup
