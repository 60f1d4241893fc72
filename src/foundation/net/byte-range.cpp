#include "foundation/net/byte-range.h"

#include <limits>

namespace qv::setup {
namespace {

// Decimal digits only, at least one, no overflow.
std::optional<std::uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<ByteRange> ParseRangeRequest(std::string_view value) {
  constexpr std::string_view kUnit = "bytes=";
  if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;
  value.remove_prefix(kUnit.size());
  const std::size_t dash = value.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  std::optional<std::uint64_t> first = Number(value.substr(0, dash));
  if (!first) return std::nullopt;
  ByteRange range{*first, std::nullopt, std::nullopt};
  const std::string_view last_text = value.substr(dash + 1);
  if (last_text.empty()) return range;
  range.last = Number(last_text);
  if (!range.last || *range.last < *first) return std::nullopt;
  return range;
}

std::optional<ByteRange> ParseContentRange(std::string_view value) {
  value = Trimmed(value);
  constexpr std::string_view kUnit = "bytes ";
  if (value.size() < kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kUnit[i]) return std::nullopt;
  }
  value = Trimmed(value.substr(kUnit.size()));
  const std::size_t dash = value.find('-');
  const std::size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  std::optional<std::uint64_t> first = Number(value.substr(0, dash));
  std::optional<std::uint64_t> last = Number(value.substr(dash + 1, slash - dash - 1));
  if (!first || !last || *last < *first) return std::nullopt;
  ByteRange range{*first, *last, std::nullopt};
  const std::string_view total_text = value.substr(slash + 1);
  if (total_text != "*") {
    range.total = Number(total_text);
    if (!range.total || *last >= *range.total) return std::nullopt;
  }
  return range;
}

bool AnswersRange(std::string_view request, std::optional<std::string_view> content_range, std::uint64_t total) {
  const std::optional<ByteRange> asked = ParseRangeRequest(request);
  if (!asked) return true;
  if (!content_range) return false;
  const std::optional<ByteRange> answered = ParseContentRange(*content_range);
  if (!answered || answered->first != asked->first) return false;
  // A range that runs past the file's end is answered up to its last byte:
  // still the part asked for (what is missing shows as a short answer).
  if (asked->last && answered->last != asked->last) {
    const bool cut_at_the_end =
        answered->total && *answered->last + 1 == *answered->total && *asked->last > *answered->last;
    if (!cut_at_the_end) return false;
  }
  return total == 0 || answered->total == total;
}

}  // namespace qv::setup
