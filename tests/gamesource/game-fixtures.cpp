#include "game-fixtures.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/unique-handle.h"
#include "selftest/test-pkg.h"
#include "support/temp-folder.h"

namespace qv::test {
namespace {

void PutBe32(std::string& image, size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}

void AppendLe(std::string& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string PsarcBytes(size_t size) {
  std::string bytes = "PSAR";
  bytes.resize(std::max<size_t>(size, 4), 'c');
  return bytes;
}

std::string QarBytes(size_t size) {
  std::string bytes(size, 't');
  if (size >= 36) {
    bytes[size - 36 + 22] = 'a';
    bytes[size - 36 + 23] = 'q';
  }
  return bytes;
}

std::string PathIdListBytes(bool game_levels) {
  return game_levels ? "/Assets/xq/level/qv14_hallway/geometry.bin\n/Assets/xq/ui/menu.bin\n"
                     : "/Assets/other/level/town_square/geometry.bin\n/Assets/other/ui/menu.bin\n";
}

std::string PngBytes(const std::string& tag) { return std::string("\x89PNG\r\n\x1A\n", 8) + tag; }

std::string BuildPkgImage(const std::vector<PkgPart>& parts, const std::string& title_id) {
  const std::uint32_t count = static_cast<std::uint32_t>(parts.size() + 1);
  const std::uint32_t table_offset = 0x80;
  std::string names;
  std::vector<std::uint32_t> name_offsets;
  for (const PkgPart& part : parts) {
    name_offsets.push_back(static_cast<std::uint32_t>(names.size()));
    names += part.name;
    names.push_back('\0');
  }
  std::uint32_t offset = table_offset + 32 * count;
  std::string table = qv::setup::BuildTestPkgEntry(0x200, 0x40000000u, offset, static_cast<std::uint32_t>(names.size()));
  std::string data = names;
  offset += static_cast<std::uint32_t>(names.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string entry = qv::setup::BuildTestPkgEntry(parts[i].id, parts[i].flags, offset,
                                                     static_cast<std::uint32_t>(parts[i].data.size()));
    PutBe32(entry, 4, name_offsets[i]);
    table += entry;
    data += parts[i].data;
    offset += static_cast<std::uint32_t>(parts[i].data.size());
  }
  std::string image(table_offset, '\0');
  image.replace(0, 4, "\x7F" "CNT", 4);
  PutBe32(image, 0x10, count);
  PutBe32(image, 0x18, table_offset);
  if (!title_id.empty()) image.replace(0x47, title_id.size(), title_id);
  return image + table + data;
}

std::string HandBuiltParamSfo(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string index, keys, data;
  for (const auto& [key, value] : pairs) {
    AppendLe(index, static_cast<std::uint32_t>(keys.size()), 2);
    AppendLe(index, 0x0204, 2);
    AppendLe(index, static_cast<std::uint32_t>(value.size() + 1), 4);
    AppendLe(index, 16, 4);
    AppendLe(index, static_cast<std::uint32_t>(data.size()), 4);
    keys += key;
    keys.push_back('\0');
    std::string slot = value;
    slot.resize(std::max<size_t>(16, value.size() + 1), '\0');
    data += slot;
  }
  while (keys.size() % 4) keys.push_back('\0');
  std::string out("\0PSF", 4);
  AppendLe(out, 0x101, 4);
  const std::uint32_t key_table = static_cast<std::uint32_t>(20 + index.size());
  AppendLe(out, key_table, 4);
  AppendLe(out, static_cast<std::uint32_t>(key_table + keys.size()), 4);
  AppendLe(out, static_cast<std::uint32_t>(pairs.size()), 4);
  return out + index + keys + data;
}

std::vector<std::wstring> ListedNames(const std::filesystem::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  qv::setup::UniqueFind find(::FindFirstFileW((folder / L"*").c_str(), &data));
  if (!find) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &data));
  return names;
}

void WriteSizedFile(const std::filesystem::path& path, std::uint64_t size) {
  WriteTestFile(path, "");
  qv::setup::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!file || !::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
    ADD_FAILURE() << "cannot size " << path.string();
  }
}

void WriteGameArchives(const std::filesystem::path& folder, bool with_list) {
  WriteTestFile(folder / L"chunk1.psarc", PsarcBytes());
  WriteTestFile(folder / L"texture.qar", QarBytes());
  if (with_list) WriteTestFile(folder / L"pathid_list_ps4.bin", PathIdListBytes(true));
}

}  // namespace qv::test
