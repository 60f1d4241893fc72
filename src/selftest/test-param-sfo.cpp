#include "selftest/test-param-sfo.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "selftest/little-endian.h"

namespace qv::setup {
namespace {

constexpr std::uint32_t kSlotLength = 64;
constexpr std::uint16_t kUtf8TextFormat = 0x0204;

}  // namespace

std::string BuildTestParamSfo(const std::string& title_id, const std::string& content_id) {
  std::vector<std::pair<std::string, std::string>> entries;
  if (!content_id.empty()) entries.emplace_back("CONTENT_ID", content_id);
  entries.emplace_back("TITLE_ID", title_id);

  std::string index, keys, data;
  for (const auto& [key, value] : entries) {
    AppendLittleEndian(index, keys.size(), 2);
    AppendLittleEndian(index, kUtf8TextFormat, 2);
    AppendLittleEndian(index, value.size() + 1, 4);
    AppendLittleEndian(index, kSlotLength, 4);
    AppendLittleEndian(index, data.size(), 4);
    keys += key;
    keys += '\0';
    std::string slot = value;
    slot.resize(kSlotLength, '\0');
    data += slot;
  }
  keys.resize((keys.size() + 3) / 4 * 4, '\0');

  const std::uint64_t key_table = 20 + 16 * entries.size();
  std::string image("\0PSF", 4);
  AppendLittleEndian(image, 0x00000101, 4);
  AppendLittleEndian(image, key_table, 4);
  AppendLittleEndian(image, key_table + keys.size(), 4);
  AppendLittleEndian(image, entries.size(), 4);
  return image + index + keys + data;
}

}  // namespace qv::setup
