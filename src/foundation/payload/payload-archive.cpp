#include "foundation/payload/payload-archive.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "foundation/files/create-folders.h"
#include "foundation/files/paths.h"
#include "foundation/files/written-file-checks.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

constexpr std::string_view kMagic = "QVSETUP1";
constexpr std::uint32_t kMaxEntries = 10000;
constexpr std::uint64_t kFixedEntryPart = 8 + 8 + 64;  // size, packed, digest
constexpr std::uint64_t kMaxEntrySize = 512ull << 20;
constexpr std::uint64_t kMaxInputPiece = 64ull << 20;
constexpr DWORD kOutputBlock = 1 << 20;

[[noreturn]] void Fail(const char* message) { throw std::runtime_error(message); }

std::uint64_t ReadLittleEndian(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// One entry's fields, pointing into the archive.
struct RawEntry {
  std::string_view name;
  std::uint64_t size = 0;
  std::uint64_t packed = 0;
  std::string_view digest;
  const unsigned char* stream = nullptr;
};

// Walks the archive with the checks every reader makes, in their order.
class ArchiveReader {
 public:
  ArchiveReader(const void* archive, std::size_t length)
      : next_(static_cast<const unsigned char*>(archive)), remaining_(length) {}

  // The header: magic and count.
  std::uint32_t ReadHeader() {
    if (remaining_ < 8) Fail("Truncated installer payload.");
    if (std::memcmp(next_, kMagic.data(), kMagic.size()) != 0) Fail("Invalid installer payload.");
    if (remaining_ < 12) Fail("Truncated installer payload.");
    std::uint32_t count = static_cast<std::uint32_t>(ReadLittleEndian(next_ + 8, 4));
    if (count > kMaxEntries) Fail("Invalid payload count.");
    Skip(12);
    return count;
  }

  // Name and fixed part of the next entry, then the length check of its stream
  // (`size_limit` is checked before it, as extraction requires); the reader
  // then stands after the stream.
  RawEntry ReadEntry(std::uint64_t size_limit = ~std::uint64_t{0}) {
    if (remaining_ < 2) Fail("Truncated installer payload.");
    std::uint64_t name_length = ReadLittleEndian(next_, 2);
    if (name_length > remaining_ - 2) Fail("Truncated installer payload.");
    RawEntry entry;
    entry.name = std::string_view(reinterpret_cast<const char*>(next_ + 2), name_length);
    Skip(2 + name_length);
    if (remaining_ < kFixedEntryPart) Fail("Truncated installer payload.");
    entry.size = ReadLittleEndian(next_, 8);
    entry.packed = ReadLittleEndian(next_ + 8, 8);
    entry.digest = std::string_view(reinterpret_cast<const char*>(next_ + 16), 64);
    if (entry.size > size_limit) Fail("Invalid payload size.");
    if (entry.packed > remaining_ - kFixedEntryPart) Fail("Invalid payload size.");
    entry.stream = next_ + kFixedEntryPart;
    Skip(kFixedEntryPart + entry.packed);
    return entry;
  }

  void CheckEnd() const {
    if (remaining_ != 0) Fail("Unexpected payload data.");
  }

 private:
  void Skip(std::uint64_t count) {
    next_ += count;
    remaining_ -= count;
  }

  const unsigned char* next_;
  std::uint64_t remaining_;
};

struct InflateEnd {
  z_stream* stream;
  ~InflateEnd() { inflateEnd(stream); }
};

// Each inflate call writes at most 1 MiB, after which progress and cancel are
// handled; the output collects in a buffer of 4 MiB that goes to the file in
// one write when it is full and at the end of the entry: few large writes.
constexpr DWORD kInflateStep = kOutputBlock;
constexpr DWORD kWriteBlock = 4 * kOutputBlock;

// The output buffer of one extraction, made once and used for every entry: a
// buffer allocated afresh per entry costs more than the inflating itself where
// the system maps pages in only when they are first written (Wine).
using OutputBuffer = std::unique_ptr<unsigned char[]>;

// Inflates one entry's stream into `file` (when it could be created), checking
// that it yields exactly `entry.size` bytes from exactly `entry.packed` bytes.
// Returns false when a write failed.
bool InflateEntry(const RawEntry& entry, HANDLE file, unsigned char* output) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) Fail("Installer payload decompression failed.");
  InflateEnd end{&stream};
  bool written = file != INVALID_HANDLE_VALUE;
  DWORD filled = 0;  // bytes in `output` not yet written
  auto flush = [&] {
    if (written && filled > 0) {
      DWORD done = 0;
      written = ::WriteFile(file, output, filled, &done, nullptr) && done == filled;
    }
    filled = 0;
  };
  std::uint64_t consumed = 0;
  std::uint64_t produced = 0;
  int result = Z_OK;
  try {
    while (result != Z_STREAM_END) {
      if (stream.avail_in == 0 && consumed < entry.packed) {
        std::uint64_t piece = std::min(entry.packed - consumed, kMaxInputPiece);
        stream.next_in = const_cast<Bytef*>(entry.stream + consumed);
        stream.avail_in = static_cast<uInt>(piece);
        consumed += piece;
      }
      if (filled + kInflateStep > kWriteBlock) flush();
      stream.next_out = output + filled;
      stream.avail_out = kInflateStep;
      result = inflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END) Fail("Installer payload decompression failed.");
      DWORD got = kInflateStep - stream.avail_out;
      produced += got;
      if (produced > entry.size) Fail("Installer payload decompression failed.");
      filled += got;
      AddProgress(got);
      ThrowIfCancelled();
      if (result != Z_STREAM_END && got == 0 && stream.avail_in == 0 && consumed >= entry.packed) {
        Fail("Installer payload decompression failed.");  // the stream stops before its end
      }
    }
  } catch (...) {
    // What passed its checks reaches the file also when a later step fails
    // (a cancel, a stream that stops short): the partial file is the one
    // that writing every piece at once would have left.
    flush();
    throw;
  }
  flush();
  if (produced != entry.size || stream.avail_in != 0 || consumed != entry.packed) {
    Fail("Installer payload decompression failed.");
  }
  return written;
}

// Whether anything (file, folder, link, even a dangling one) is at `target`.
bool ItemExists(const std::filesystem::path& target) {
  if (::GetFileAttributesW(ToLongPath(target.native()).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
  throw std::filesystem::filesystem_error("exists", target,
                                          std::error_code(static_cast<int>(error), std::system_category()));
}

std::string GenericName(std::string_view name) {
  std::string generic(name);
  std::replace(generic.begin(), generic.end(), '\\', '/');
  return generic;
}

// The status label of an entry: its first folder, or "program files" for a
// file directly in the target folder.
std::string StatusLabel(const std::filesystem::path& relative) {
  if (!relative.has_parent_path()) return "program files";
  return ToGenericUtf8(*relative.begin());
}

}  // namespace

std::vector<PayloadEntry> ReadPayloadIndex(const void* archive, std::size_t length) {
  ArchiveReader reader(archive, length);
  std::uint32_t count = reader.ReadHeader();
  std::vector<PayloadEntry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    RawEntry raw = reader.ReadEntry();
    entries.push_back(PayloadEntry{std::string(raw.name), raw.size, std::string(raw.digest)});
  }
  reader.CheckEnd();
  return entries;
}

std::uint64_t PayloadTotalSize(const void* archive, std::size_t length) {
  ArchiveReader reader(archive, length);
  std::uint32_t count = reader.ReadHeader();
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < count; ++i) total += reader.ReadEntry().size;
  return total;
}

std::vector<InstalledFile> ExtractPayload(const void* archive, std::size_t length, const std::filesystem::path& target,
                                          const FileHasher& hasher, const PayloadFilter& filter) {
  if (!hasher) throw std::invalid_argument("ExtractPayload needs a hasher");
  ArchiveReader reader(archive, length);
  std::uint32_t count = reader.ReadHeader();
  std::string current_label;
  OutputBuffer output;
  // Each written file is checked while the entries after it inflate; the
  // checks' outcome is taken before anything of a later entry can show, so a
  // failing check is reported as it would have been made in place.
  WrittenFileChecks checks(hasher);
  for (std::uint32_t i = 0; i < count; ++i) {
    try {
      checks.RaiseFailure();  // no more work after a file failed its check
      ThrowIfCancelled();
      RawEntry raw = reader.ReadEntry(kMaxEntrySize);
      const std::string name(raw.name);
      if (filter) {
        std::string generic;
        try {
          generic = ToGenericUtf8(PathFromUtf8(name));
        } catch (const std::system_error&) {
          Fail("Unsafe payload path.");  // not UTF-8: nothing a filter could name
        }
        if (!filter(generic)) continue;
      }
      const std::filesystem::path file_path = SafePayloadPath(target, name);
      if (IsUnderDataFolder(name)) Fail("The installer payload cannot contain files under data/.");

      std::string label = StatusLabel(PathFromUtf8(name));
      if (label != current_label) {
        checks.Finish();
        current_label = label;
        SendLogLine("Extracting " + label + "...");
      }

      CreateFolders(file_path.parent_path());
      if (ItemExists(file_path)) Fail("Duplicate payload path.");
      // Only a new file, and never through a link that appeared since: a file
      // that cannot be created is reported once its stream has been checked,
      // like any other write failure.
      UniqueFile file(::CreateFileW(ToLongPath(file_path.native()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!output) output = std::make_unique_for_overwrite<unsigned char[]>(kWriteBlock);
      bool written = InflateEntry(raw, file.get(), output.get());
      if (file && !::CloseHandle(file.release())) written = false;  // closed by hand to see its result
      if (!written) Fail("Could not write installation files.");

      checks.Start(file_path, std::string(raw.digest), InstalledFile{GenericName(name), std::string(raw.digest)},
                   raw.size);
    } catch (...) {
      checks.Finish();  // an earlier entry's failing check comes first
      throw;
    }
  }
  checks.Finish();
  reader.CheckEnd();
  return std::move(checks.Installed());
}

std::filesystem::path SafePayloadPath(const std::filesystem::path& root, const std::string& name) {
  auto unsafe = [] { Fail("Unsafe payload path."); };
  std::wstring relative;
  try {
    relative = PathFromUtf8(name).native();
  } catch (const std::system_error&) {
    unsafe();
  }
  // A leading separator is a root directory, a server name or a device prefix
  // ("\\?\", "\\.\", "\??\"); drive letters carry a ':' and fail below.
  if (!relative.empty() && (relative[0] == L'\\' || relative[0] == L'/')) unsafe();
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = relative.size();
    if (IsUnsafePathElement(std::wstring_view(relative.data() + start, end - start))) unsafe();
    start = end + 1;
  }
  return root / std::filesystem::path(relative);
}

}  // namespace qv::setup
