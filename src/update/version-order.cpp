#include "update/version-order.h"

#include <algorithm>
#include <climits>

namespace qv::update {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view WithoutLeadingV(std::string_view text) {
  if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
  return text;
}

// The value of the piece's leading digits; 0 without any, or when it exceeds an int.
int ComponentValue(std::string_view piece) {
  long long value = 0;
  for (char c : piece) {
    if (!IsDigit(c)) break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return 0;
  }
  return static_cast<int>(value);
}

int Sign(int difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

}  // namespace

VersionParts SplitVersion(std::string_view text) {
  VersionParts parts;
  text = WithoutLeadingV(text);
  std::string_view numbers = text;
  if (size_t dash = text.find('-'); dash != std::string_view::npos) {
    numbers = text.substr(0, dash);
    parts.suffix = text.substr(dash + 1);
  }
  while (!numbers.empty()) {
    size_t dot = numbers.find('.');
    parts.components.push_back(ComponentValue(numbers.substr(0, dot)));
    if (dot == std::string_view::npos) break;
    // A dot that ends the text starts no further component.
    numbers.remove_prefix(dot + 1);
  }
  return parts;
}

int CompareVersions(std::string_view a, std::string_view b) {
  const VersionParts left = SplitVersion(a);
  const VersionParts right = SplitVersion(b);
  const size_t positions = std::max(left.components.size(), right.components.size());
  for (size_t i = 0; i < positions; ++i) {
    int l = i < left.components.size() ? left.components[i] : 0;
    int r = i < right.components.size() ? right.components[i] : 0;
    if (l != r) return l < r ? -1 : 1;
  }
  if (left.suffix.empty() || right.suffix.empty()) {
    // A pre-release comes before the release it leads to.
    if (left.suffix.empty() && right.suffix.empty()) return 0;
    return left.suffix.empty() ? 1 : -1;
  }
  return Sign(left.suffix.compare(right.suffix));
}

bool IsValidVersion(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  text = WithoutLeadingV(text);
  if (text.empty() || !IsDigit(text.back())) return false;
  char previous = '.';  // as if a dot preceded the text: it must start with a digit
  for (char c : text) {
    if (c == '.') {
      if (!IsDigit(previous)) return false;
    } else if (!IsDigit(c)) {
      return false;
    }
    previous = c;
  }
  return true;
}

}  // namespace qv::update
