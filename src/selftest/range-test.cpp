#include "selftest/range-test.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "foundation/hooks.h"
#include "foundation/result-file.h"
#include "foundation/text/text.h"
#include "update/download/range-fetch.h"

namespace qv::setup {
namespace {

constexpr std::uint64_t kMaxPosition = std::numeric_limits<std::uint64_t>::max();

std::uint64_t ReadNumber(const std::string& token) { return std::strtoull(token.c_str(), nullptr, 10); }

std::string LineName(std::size_t number) { return "line " + std::to_string(number) + " of the index"; }

// One line's entry; false for a line that names nothing to fetch.
bool ParseIndexLine(const std::string& line, std::size_t number, qv::update::FileEntry& entry) {
  if (line.empty()) return false;
  LineCursor cursor{line};
  std::string fields[4];
  for (std::string& field : fields) {
    field = NextToken(cursor);
    // Each of the four fields ends in a blank before the path; a line that
    // ends instead lacks fields (reading on would take the digest, or a
    // number, for the path). A blank and nothing after it is an empty path.
    if (cursor.position == line.size() && line.back() != ' ') {
      throw std::runtime_error(LineName(number) + " has fewer than five fields");
    }
  }
  entry.offset = ReadNumber(fields[0]);
  entry.packed = ReadNumber(fields[1]);
  entry.size = ReadNumber(fields[2]);
  entry.sha256 = fields[3];
  entry.path = line.substr(cursor.position);
  if (entry.packed == 0 || entry.path.empty()) return false;
  if (entry.packed > kMaxPosition - entry.offset) {
    throw std::runtime_error(LineName(number) + " places its data beyond the largest file position");
  }
  return true;
}

}  // namespace

std::string NextToken(LineCursor& cursor) {
  if (cursor.position > cursor.line.size()) throw std::out_of_range("the index line has no more fields");
  const std::size_t blank = cursor.line.find(' ', cursor.position);
  const std::size_t end = blank == std::string::npos ? cursor.line.size() : blank;
  std::string token = cursor.line.substr(cursor.position, end - cursor.position);
  cursor.position = blank == std::string::npos ? cursor.line.size() : blank + 1;
  return token;
}

std::vector<qv::update::FileEntry> ParseRangeTestIndex(const std::string& text) {
  std::vector<qv::update::FileEntry> entries;
  std::string_view rest = text;
  for (std::size_t number = 1; !rest.empty(); ++number) {
    std::string line(TakeLine(rest));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    qv::update::FileEntry entry;
    if (ParseIndexLine(line, number, entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

std::string RunRangeTest(const std::string& url, const std::filesystem::path& index,
                         const std::filesystem::path& folder, const FileHasher& hasher) {
  std::ifstream input(index, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(input), {});
  const std::vector<qv::update::FileEntry> entries = ParseRangeTestIndex(text);
  if (entries.empty()) throw std::runtime_error("no files in the index");

  std::uint64_t packed_sum = 0;
  for (const qv::update::FileEntry& entry : entries) {
    packed_sum = entry.packed > kMaxPosition - packed_sum ? kMaxPosition : packed_sum + entry.packed;
  }
  ResetProgress(1);
  const RangeFetch fetch = FetchRanges(url, entries, folder, hasher);
  if (fetch.failed) throw std::runtime_error("the server ignored Range");
  return "PASS " + CountOf(entries.size(), "file", "files") + " checked against " +
         (entries.size() == 1 ? "its" : "their") + " SHA-256; " +
         CountOf(fetch.requests, "request", "requests") + ", " + std::to_string(fetch.bytes) + " bytes for " +
         std::to_string(packed_sum) + " packed bytes";
}

int RunRangeTestMode(const std::wstring& url, const std::filesystem::path& index, const std::filesystem::path& folder,
                     const std::filesystem::path& result) {
  RequireAcceptableResultFile(result);
  // Created before the test runs, so that a test that never ends leaves an
  // empty result rather than an earlier run's.
  WriteResultFile(result, "");
  WriteResultFile(result, RunRangeTest(WideToUtf8(url), index, folder, HashFile) + "\n");
  return 0;
}

}  // namespace qv::setup
