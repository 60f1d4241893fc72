#include "gamesource/param-sfo.h"

#include <algorithm>

#include "foundation/files/file-reads.h"
#include "gamesource/known-titles.h"

namespace qv::setup {
namespace {

constexpr std::uint64_t kHeaderSize = 0x14;
constexpr std::uint64_t kIndexEntrySize = 16;

std::uint64_t ReadLe(std::string_view bytes, std::uint64_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string ParseParamSfoValue(std::string_view bytes, std::string_view key) {
  const std::uint64_t size = bytes.size();
  if (size < kHeaderSize || bytes.substr(0, 4) != std::string_view("\0PSF", 4)) return {};
  const std::uint64_t key_table = ReadLe(bytes, 0x08, 4);
  const std::uint64_t data_table = ReadLe(bytes, 0x0C, 4);
  const std::uint64_t count = ReadLe(bytes, 0x10, 4);
  if (count == 0) return {};
  // All positions are sums of 32-bit fields, so 64-bit arithmetic cannot wrap.
  for (std::uint64_t k = 0; k < std::min<std::uint64_t>(count, kParamSfoMaxEntries); ++k) {
    const std::uint64_t entry = kHeaderSize + kIndexEntrySize * k;
    if (entry + kIndexEntrySize > size) break;
    const std::uint64_t key_position = key_table + ReadLe(bytes, entry, 2);
    const std::uint64_t data_length = ReadLe(bytes, entry + 0x04, 4);
    const std::uint64_t data_position = data_table + ReadLe(bytes, entry + 0x0C, 4);
    if (key_position >= size || data_position > size || data_length > size - data_position) continue;
    std::string_view entry_key = bytes.substr(static_cast<size_t>(key_position));
    entry_key = entry_key.substr(0, entry_key.find('\0'));
    if (entry_key != key) continue;
    std::string_view value = bytes.substr(static_cast<size_t>(data_position), static_cast<size_t>(data_length));
    return std::string(value.substr(0, value.find('\0')));
  }
  return {};
}

std::string ReadParamSfoValue(const std::filesystem::path& folder, std::string_view key) {
  std::string bytes = ReadSmallFile(folder / L"sce_sys" / L"param.sfo", kParamSfoLimit);
  return ParseParamSfoValue(bytes, key);
}

std::string RegionFromContentId(std::string_view title_id, std::string_view content_id) {
  if (content_id.size() >= 7 && content_id[1] == 'P' && content_id[6] == '-') {
    switch (content_id[0]) {
      case 'E': return "Europe";
      case 'H': return "Asia";
      case 'J': return "Japan";
      case 'K': return "Korea";
      case 'U': return "US";
      default: break;
    }
  }
  if (const KnownTitle* title = FindKnownTitle(title_id)) return std::string(title->region);
  return "unknown";
}

}  // namespace qv::setup
