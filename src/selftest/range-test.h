#pragma once
// "--range-test": fetches the files an index names out of a setup file on a
// server by range requests (FetchRanges) and checks them, for outside test
// scripts. The index is a text file, one file per line, fields separated by
// single blanks:
//   <offset> <packed> <size> <sha256> <relative path, blanks allowed>
// Numbers are unsigned decimal, read as strtoull reads them (no digits give
// 0, too many give the largest value); a CR before the line feed is dropped.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "update/signed-manifest.h"

namespace qv::setup {

// A position in one line of the index.
struct LineCursor {
  const std::string& line;
  std::size_t position = 0;
};

// The text from the cursor up to the next blank or the end of the line; the
// cursor moves past that blank, or to the end of the line. Raises
// std::out_of_range when the cursor already stands past the end.
std::string NextToken(LineCursor& cursor);

// The entries of the index text. Lines with packed 0 or an empty path, and
// empty lines, are skipped. Raises std::runtime_error naming the line
// ("line N of the index ...") for a line with fewer than five fields or
// whose offset + packed does not fit in 64 bits.
std::vector<qv::update::FileEntry> ParseRangeTestIndex(const std::string& text);

// Reads the index (one that cannot be read counts as empty), fetches its
// files into `folder` from `url` with FetchRanges, and returns
//   "PASS <n> files checked against their SHA-256; <requests> requests,
//    <bytes> bytes for <packed sum> packed bytes"
// (one line, without its line end; "1 file checked against its SHA-256" and
// "1 request" for one). Raises "no files in the index", "the server ignored Range",
// the index's line errors and whatever FetchRanges raises.
std::string RunRangeTest(const std::string& url, const std::filesystem::path& index,
                         const std::filesystem::path& folder, const FileHasher& hasher);

// "--range-test <url> <index> <folder> <result>": guards and creates the
// result file, runs the test with HashFile and writes its line with a line
// end. Returns exit code 0; failures are raised for the caller to write.
int RunRangeTestMode(const std::wstring& url, const std::filesystem::path& index, const std::filesystem::path& folder,
                     const std::filesystem::path& result);

}  // namespace qv::setup
