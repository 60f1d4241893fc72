#include "gamesource/pkg-reader.h"

#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "gamesource/archive-tests.h"
#include "gamesource/game-files.h"
#include "gamesource/known-titles.h"
#include "gamesource/param-sfo.h"

namespace qv::setup {
namespace {

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1A\n", 8};
constexpr std::uint64_t kEntrySize = 32;
constexpr std::uint32_t kNamesTableId = 0x200;
constexpr std::uint32_t kFirstPictureId = 0x1000;
constexpr std::uint32_t kEncryptedFlag = 0x80000000u;
constexpr std::uint64_t kTitleIdOffset = 0x47;
constexpr std::uint64_t kCandidateHeader = 100;

std::uint32_t ReadBe32(std::string_view bytes, std::uint64_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

struct PkgEntry {
  std::uint32_t id = 0;
  std::uint32_t name_offset = 0;
  std::uint32_t flags = 0;
  std::uint32_t data_offset = 0;
  std::uint32_t data_size = 0;
};

PkgEntry EntryAt(std::string_view table, std::uint64_t index) {
  std::uint64_t at = index * kEntrySize;
  return {ReadBe32(table, at), ReadBe32(table, at + 4), ReadBe32(table, at + 8), ReadBe32(table, at + 16),
          ReadBe32(table, at + 20)};
}

// The NUL-terminated name at `offset` of the names table; a name that runs to
// the end of the table ends there. The caller checked offset < size.
std::string_view NameAt(std::string_view names, std::uint32_t offset) {
  std::string_view name = names.substr(offset);
  return name.substr(0, name.find('\0'));
}

}  // namespace

bool HasPngSignature(std::string_view bytes) {
  return bytes.size() >= kPngSignature.size() && bytes.substr(0, kPngSignature.size()) == kPngSignature;
}

std::optional<std::string> ReadPkgPicture(const std::filesystem::path& package, std::string_view name) {
  std::string header = ReadFileBytes(package, 0, 32);
  if (header.size() != 32 || std::string_view(header).substr(0, 4) != kPackageMagic) return std::nullopt;
  const std::uint32_t count = ReadBe32(header, 0x10);
  const std::uint32_t table_offset = ReadBe32(header, 0x18);
  if (count < 1 || count > kPkgMaxEntries) return std::nullopt;
  std::string table = ReadFileBytes(package, table_offset, count * kEntrySize);
  if (table.size() != count * kEntrySize) return std::nullopt;

  const PkgEntry* names_entry = nullptr;
  std::vector<PkgEntry> entries;
  entries.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) entries.push_back(EntryAt(table, i));
  for (const PkgEntry& entry : entries) {
    if (entry.id == kNamesTableId) names_entry = &entry;  // the last one counts
  }
  if (!names_entry || names_entry->data_size < 1 || names_entry->data_size > kPkgMaxNamesTable) return std::nullopt;
  std::string names = ReadFileBytes(package, names_entry->data_offset, names_entry->data_size);
  if (names.size() != names_entry->data_size) return std::nullopt;

  for (const PkgEntry& entry : entries) {
    if (entry.id < kFirstPictureId || (entry.flags & kEncryptedFlag) != 0) continue;
    if (entry.data_size < kPkgMinPicture || entry.data_size > kPkgMaxPicture) continue;
    if (entry.name_offset >= names.size() || NameAt(names, entry.name_offset) != name) continue;
    // A same-named entry that is not a readable PNG does not end the search.
    std::string data = ReadFileBytes(package, entry.data_offset, entry.data_size);
    if (data.size() == entry.data_size && HasPngSignature(data)) return data;
  }
  return std::nullopt;
}

std::optional<std::string> ReadFolderPicture(const std::filesystem::path& folder, std::string_view name) {
  std::filesystem::path file = folder / L"sce_sys" / Utf8ToWide(name);
  auto status = ReadItemStatus(file);
  if (!status || status->directory || status->size < kPkgMinPicture || status->size > kPkgMaxPicture) {
    return std::nullopt;
  }
  std::string data = ReadFileBytes(file, 0, status->size);
  if (data.size() != status->size || !HasPngSignature(data)) return std::nullopt;
  return data;
}

void CheckGameSourceCandidate(std::vector<std::filesystem::path>& list, const std::filesystem::path& path,
                              const FileSystemView& view) {
  auto status = ReadItemStatus(path);
  if (!status) return;
  if (!status->directory) {
    if (!HasFileExtension(".pkg", path)) return;
    std::string header = ReadFileBytes(path, 0, kCandidateHeader);
    if (header.size() != kCandidateHeader || std::string_view(header).substr(0, 4) != kPackageMagic) return;
    if (!IsListedTitle(std::string_view(header).substr(kTitleIdOffset, 9))) return;
    list.push_back(path);
    return;
  }
  // A dump reached through a symbolic link is not taken; a junction is.
  auto item = ReadItemInfo(path, view);
  if (item && item->IsSymbolicLink()) return;
  if (!IsListedTitle(ReadParamSfoValue(path, "TITLE_ID"))) return;
  if (!IsRegularFile(path / L"sce_sys" / L"pic1.png")) return;
  list.push_back(path);
}

}  // namespace qv::setup
