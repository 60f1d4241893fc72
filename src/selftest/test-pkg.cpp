#include "selftest/test-pkg.h"

namespace qv::setup {
namespace {

void PutBe32(std::string& image, size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}

std::string Be32(std::uint32_t value) {
  std::string bytes(4, '\0');
  PutBe32(bytes, 0, value);
  return bytes;
}

}  // namespace

std::string BuildTestPkgEntry(std::uint32_t id, std::uint32_t flags1, std::uint32_t offset, std::uint32_t size) {
  return Be32(id) + Be32(0) + Be32(flags1) + Be32(0) + Be32(offset) + Be32(size) + std::string(8, '\0');
}

std::string BuildTestPkg(const std::string& icon, bool encrypted) {
  constexpr std::uint32_t kTableOffset = 0x80;
  constexpr std::uint32_t kNamesOffset = 0xC0;
  constexpr std::uint32_t kIconOffset = 0xCA;
  std::string image(kTableOffset, '\0');
  image.replace(0, 4, "\x7F" "CNT", 4);
  PutBe32(image, 0x10, 2);
  PutBe32(image, 0x18, kTableOffset);
  image += BuildTestPkgEntry(0x200, 0x40000000u, kNamesOffset, 10);
  image += BuildTestPkgEntry(0x1200, encrypted ? 0x80000000u : 0u, kIconOffset, static_cast<std::uint32_t>(icon.size()));
  image.append("icon0.png\0", 10);
  image += icon;
  return image;
}

}  // namespace qv::setup
