#include "game-fixtures.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/test-pkg.h"
#include "support/temp-folder.h"

namespace qv::test {
namespace {

void AppendLe(std::string& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void PutBigEndian(std::string& bytes, size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width && at + i < bytes.size(); ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * (width - 1 - i))) & 0xFF);
  }
}

void PutLittleEndian(std::string& bytes, size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

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
    PutBigEndian(entry, 4, name_offsets[i]);
    table += entry;
    data += parts[i].data;
    offset += static_cast<std::uint32_t>(parts[i].data.size());
  }
  std::string image(table_offset, '\0');
  image.replace(0, 4, "\x7F" "CNT", 4);
  PutBigEndian(image, 0x10, count);
  PutBigEndian(image, 0x18, table_offset);
  if (!title_id.empty()) image.replace(0x47, title_id.size(), title_id);
  return image + table + data;
}

std::string MultiEntryParamSfo(const std::vector<std::pair<std::string, std::string>>& pairs) {
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

}  // namespace qv::test
