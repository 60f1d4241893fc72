#pragma once
// Stand-ins for a release's setup file as the range downloads see it: bytes
// with one zlib stream per file at a chosen position, and the manifest entries
// that locate them. No program or payload archive is needed for that.

#include <cstdint>
#include <string>
#include <vector>

#include "update/signed-manifest.h"

namespace qv::test {

struct ImageFile {
  std::string path;
  std::string content;
  std::uint64_t offset = 0;  // where its stream starts in the image
  int level = 6;             // zlib level; 0 stores, so equal contents give equal lengths
};

struct RangeImage {
  std::string bytes;                            // the pattern of the test server between the streams
  std::vector<qv::update::FileEntry> entries;   // in the order given, with the contents' SHA-256
};

// Streams must not overlap unless `overlap_allowed`; the image is at least
// `size` bytes long and ends after the last stream.
RangeImage BuildRangeImage(const std::vector<ImageFile>& files, std::uint64_t size = 0, bool overlap_allowed = false);

// The zlib stream of `content` at `level`.
std::string ZlibStream(const std::string& content, int level = 6);

// The SHA-256 of bytes, 64 lower-case hexadecimal digits.
std::string Sha256Text(const std::string& bytes);

// `count` bytes that compress to about `ratio_percent` of their size.
std::string MixedContent(std::uint64_t count, int ratio_percent, std::uint32_t seed);

}  // namespace qv::test
