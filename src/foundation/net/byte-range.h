#pragma once
// The byte ranges of HTTP range requests: the one the client asks for
// ("Range: bytes=FIRST-LAST") and the one a 206 answer says it carries
// ("Content-Range: bytes FIRST-LAST/TOTAL"). A proxy or a confused server may
// answer another part than the one asked for; the client compares the two.

#include <cstdint>
#include <optional>
#include <string_view>

namespace qv::setup {

struct ByteRange {
  std::uint64_t first = 0;
  std::optional<std::uint64_t> last;   // empty: to the end ("bytes=FIRST-")
  std::optional<std::uint64_t> total;  // a Content-Range's size; empty for "*" or a request
};

// "bytes=FIRST-LAST" or "bytes=FIRST-": one range from a known position.
// Empty for anything else (suffix ranges, range lists, other units).
std::optional<ByteRange> ParseRangeRequest(std::string_view value);

// "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*" with LAST >= FIRST and,
// when TOTAL is given, LAST < TOTAL. Empty for anything else.
std::optional<ByteRange> ParseContentRange(std::string_view value);

// True when a 206 answer's Content-Range text carries exactly the range asked
// for: the same first byte, the same last byte when the request named one (or
// the file's last byte, for a range that runs past the end), and the file's
// size when `total` is not 0. A request the parser cannot read is
// not judged (true); a missing or unreadable Content-Range is false.
bool AnswersRange(std::string_view request, std::optional<std::string_view> content_range, std::uint64_t total);

}  // namespace qv::setup
