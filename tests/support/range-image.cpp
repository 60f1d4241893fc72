#include "support/range-image.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "foundation/crypto/file-hash.h"
#include "foundation/text/hex-text.h"
#include "support/test-server.h"

namespace qv::test {

std::string ZlibStream(const std::string& content, int level) {
  uLongf length = compressBound(static_cast<uLong>(content.size()));
  std::string stream(length, '\0');
  const int result = compress2(reinterpret_cast<Bytef*>(stream.data()), &length,
                               reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()), level);
  EXPECT_EQ(result, Z_OK);
  stream.resize(length);
  return stream;
}

std::string Sha256Text(const std::string& bytes) {
  unsigned char digest[32];
  EXPECT_TRUE(qv::setup::Sha256OfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()), digest));
  return qv::setup::HexEncode(digest, sizeof digest);
}

std::string MixedContent(std::uint64_t count, int ratio_percent, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  // Random bytes where a draw falls under the ratio, a run of one letter elsewhere.
  for (std::uint64_t i = 0; i < count; i += 64) {
    const bool random = static_cast<int>(generator() % 100) < ratio_percent;
    for (std::uint64_t j = i; j < std::min(count, i + 64); ++j) {
      bytes[j] = random ? static_cast<char>(generator()) : static_cast<char>('a' + (i / 64) % 26);
    }
  }
  return bytes;
}

RangeImage BuildRangeImage(const std::vector<ImageFile>& files, std::uint64_t size, bool overlap_allowed) {
  RangeImage image;
  std::vector<std::string> streams;
  std::uint64_t end = size;
  for (const ImageFile& file : files) {
    streams.push_back(ZlibStream(file.content, file.level));
    end = std::max<std::uint64_t>(end, file.offset + streams.back().size());
  }
  image.bytes = TestPattern(0, end);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> taken;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const ImageFile& file = files[i];
    const std::uint64_t stream_end = file.offset + streams[i].size();
    if (!overlap_allowed) {
      for (const auto& [start, stop] : taken) {
        EXPECT_TRUE(stream_end <= start || file.offset >= stop) << file.path << " overlaps another stream";
      }
    }
    taken.emplace_back(file.offset, stream_end);
    image.bytes.replace(file.offset, streams[i].size(), streams[i]);
    image.entries.push_back(
        qv::update::FileEntry{file.path, file.content.size(), Sha256Text(file.content), file.offset, streams[i].size()});
  }
  return image;
}

}  // namespace qv::test
