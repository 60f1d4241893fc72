// Stand-in for the system's "tar.exe", which Wine lacks. The route tests copy
// it into the private Wine prefix's system folder as "tar.exe"; it is never
// shipped.
//
//   tar -xf ZIP -C FOLDER MEMBER
//
// Extracts from a zip archive (entries stored or deflated) the entry named
// MEMBER, or every entry below the folder MEMBER ("dlssg_sm86" takes
// "dlssg_sm86/..."), into FOLDER, creating folders as needed. Entries whose
// names are absolute, carry a drive or stream (":"), or hold a ".." element
// are refused and not written. Exit code 0; 1 when the member is not in the
// archive, an entry was refused, or the archive is damaged (a structure out
// of bounds, an unknown method, a stream that does not inflate, a CRC or size
// that does not match); 2 for another command line. Messages go to standard
// error, as tar's do.

#include <windows.h>
#include <shellapi.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/files/file-reads.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"

namespace {

constexpr int kDamaged = 1;
constexpr int kUsage = 2;

void Complain(const std::string& text) {
  const std::string line = "tar: " + text + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

struct Reader {
  std::string_view bytes;
  bool Has(std::size_t offset, std::size_t length) const {
    return offset <= bytes.size() && length <= bytes.size() - offset;
  }
  std::uint32_t U16(std::size_t offset) const {
    return static_cast<unsigned char>(bytes[offset]) | static_cast<unsigned char>(bytes[offset + 1]) << 8;
  }
  std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
};

struct Entry {
  std::string name;
  std::uint32_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t packed = 0;
  std::uint32_t size = 0;
  std::uint32_t local_offset = 0;
};

// The central directory's entries; nothing when the archive is damaged.
std::optional<std::vector<Entry>> ReadDirectory(const Reader& zip) {
  if (zip.bytes.size() < 22) return std::nullopt;
  std::size_t end = zip.bytes.size() - 22;
  const std::size_t lowest = zip.bytes.size() > 22 + 65535 ? zip.bytes.size() - 22 - 65535 : 0;
  while (zip.U32(end) != 0x06054b50) {
    if (end == lowest) return std::nullopt;
    --end;
  }
  const std::uint32_t count = zip.U16(end + 10);
  std::size_t at = zip.U32(end + 16);
  std::vector<Entry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!zip.Has(at, 46) || zip.U32(at) != 0x02014b50) return std::nullopt;
    Entry entry;
    entry.method = zip.U16(at + 10);
    entry.crc = zip.U32(at + 16);
    entry.packed = zip.U32(at + 20);
    entry.size = zip.U32(at + 24);
    const std::uint32_t name_length = zip.U16(at + 28);
    const std::uint32_t skipped = zip.U16(at + 30) + zip.U16(at + 32);
    entry.local_offset = zip.U32(at + 42);
    if (!zip.Has(at + 46, name_length + skipped)) return std::nullopt;
    entry.name = std::string(zip.bytes.substr(at + 46, name_length));
    entries.push_back(std::move(entry));
    at += 46 + name_length + skipped;
  }
  return entries;
}

// The entry's content; nothing when it is damaged.
std::optional<std::string> ReadContent(const Reader& zip, const Entry& entry) {
  const std::size_t at = entry.local_offset;
  if (!zip.Has(at, 30) || zip.U32(at) != 0x04034b50) return std::nullopt;
  const std::size_t data = at + 30 + zip.U16(at + 26) + zip.U16(at + 28);
  if (!zip.Has(data, entry.packed)) return std::nullopt;
  const std::string_view packed = zip.bytes.substr(data, entry.packed);
  std::string content;
  if (entry.method == 0) {
    content = std::string(packed);
  } else if (entry.method == 8) {
    content.resize(entry.size);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(content.data());
    stream.avail_out = static_cast<uInt>(content.size());
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == entry.size;
    inflateEnd(&stream);
    if (!whole) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (content.size() != entry.size) return std::nullopt;
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
  if (crc != entry.crc) return std::nullopt;
  return content;
}

// Absolute, drive or stream, or a ".." element: tar refuses these names.
bool IsRefusedName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos) return true;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

bool Selected(const std::string& name, const std::string& member) {
  return name == member || name.rfind(member + "/", 0) == 0;
}

std::filesystem::path Below(const std::filesystem::path& folder, const std::string& name) {
  std::wstring relative = qv::setup::Utf8ToWide(name);
  for (wchar_t& c : relative) {
    if (c == L'/') c = L'\\';
  }
  return folder / relative;
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv || argc != 6 || std::wstring_view(argv.get()[1]) != L"-xf" || std::wstring_view(argv.get()[3]) != L"-C") {
    Complain("usage: tar -xf ZIP -C FOLDER MEMBER");
    return kUsage;
  }
  const std::filesystem::path zip_path = argv.get()[2];
  const std::filesystem::path folder = argv.get()[4];
  const std::string member = qv::setup::WideToUtf8(argv.get()[5]);

  const std::string bytes = qv::setup::ReadSmallFile(zip_path, 512u << 20);
  const Reader zip{bytes};
  const auto entries = ReadDirectory(zip);
  if (!entries) {
    Complain("Error opening archive: Unrecognized archive format");
    return kDamaged;
  }
  int exit_code = 0;
  bool found = false;
  for (const Entry& entry : *entries) {
    if (!Selected(entry.name, member)) continue;
    found = true;
    if (IsRefusedName(entry.name)) {
      Complain(entry.name + ": Path contains '..' or is absolute");
      exit_code = kDamaged;
      continue;
    }
    try {
      if (entry.name.back() == '/') {
        std::filesystem::create_directories(Below(folder, entry.name));
        continue;
      }
      const auto content = ReadContent(zip, entry);
      if (!content) {
        Complain(entry.name + ": Damaged archive entry");
        return kDamaged;
      }
      qv::setup::WriteFixtureFile(Below(folder, entry.name), *content);
    } catch (const std::exception& error) {
      Complain(entry.name + ": " + error.what());
      return kDamaged;
    }
  }
  if (!found) {
    Complain(member + ": Not found in archive");
    return kDamaged;
  }
  return exit_code;
}
