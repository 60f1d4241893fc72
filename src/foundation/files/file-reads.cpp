#include "foundation/files/file-reads.h"

#include <windows.h>

#include <algorithm>

#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

// Read sharing that never stands in the way of the game, an emulator or an
// unpacker that holds the user's files open.
UniqueFile OpenForReading(const std::filesystem::path& path) {
  if (path.empty()) return UniqueFile();
  return UniqueFile(::CreateFileW(ApiPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::optional<std::uint64_t> FileSize(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool SeekTo(HANDLE file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// Appends up to `wanted` bytes read from the current position; stops early at
// the end of the file or on a read error. Returns the bytes appended.
std::uint64_t AppendFromFile(HANDLE file, std::string& out, std::uint64_t wanted) {
  constexpr std::uint64_t kPiece = 1u << 20;
  std::uint64_t total = 0;
  while (total < wanted) {
    DWORD ask = static_cast<DWORD>(std::min(kPiece, wanted - total));
    size_t at = out.size();
    out.resize(at + ask);
    DWORD got = 0;
    if (!::ReadFile(file, out.data() + at, ask, &got, nullptr)) got = 0;
    out.resize(at + got);
    total += got;
    if (got == 0) break;
  }
  return total;
}

// Exactly `length` bytes at `offset` of an open file, or the empty string. The
// file's size is checked first, so no buffer larger than the file is made.
std::string ReadExactly(HANDLE file, std::uint64_t offset, std::uint64_t length) {
  auto size = FileSize(file);
  if (!size || *size < offset || *size - offset < length) return {};
  if (length == 0 || !SeekTo(file, offset)) return {};
  std::string bytes;
  bytes.reserve(static_cast<size_t>(length));
  if (AppendFromFile(file, bytes, length) != length) return {};
  return bytes;
}

}  // namespace

std::string ReadFileSlice(const std::filesystem::path& path, std::uint64_t length, std::int64_t offset,
                          SliceOrigin origin, std::uint64_t* file_size) {
  UniqueFile file = OpenForReading(path);
  if (!file) return {};
  auto size = FileSize(file.get());
  if (!size) return {};
  if (file_size) *file_size = *size;
  // 64-bit arithmetic throughout: a position before the start reads nothing.
  std::int64_t base = origin == SliceOrigin::End ? static_cast<std::int64_t>(*size) : 0;
  if (offset > 0 && offset > INT64_MAX - base) return {};
  std::int64_t position = base + offset;
  if (position < 0) return {};
  return ReadExactly(file.get(), static_cast<std::uint64_t>(position), length);
}

std::string ReadFileBytes(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length) {
  if (length == 0 || length > kMaxFileBytesRead) return {};
  UniqueFile file = OpenForReading(path);
  if (!file) return {};
  return ReadExactly(file.get(), offset, length);
}

std::string ReadSmallFile(const std::filesystem::path& path, std::uint64_t limit) {
  auto status = ReadItemStatus(path);
  if (!status || status->directory || status->size > limit) return {};
  UniqueFile file = OpenForReading(path);
  if (!file) return {};
  std::string bytes;
  // Room for the whole file and the one byte that tells a file that grew:
  // a setup file of several hundred MiB is then held once, never copied.
  bytes.reserve(static_cast<size_t>(status->size) + 1);
  // One byte past the limit tells a file that grew in the meantime.
  std::uint64_t wanted = limit == UINT64_MAX ? limit : limit + 1;
  AppendFromFile(file.get(), bytes, wanted);
  if (bytes.size() > limit) return {};
  return bytes;
}

void ScanFilePieces(const std::filesystem::path& path, std::uint64_t limit,
                    const std::function<bool(std::string_view piece)>& visit) {
  constexpr std::uint64_t kPiece = 4u << 20;
  UniqueFile file = OpenForReading(path);
  if (!file) return;
  std::string piece;
  for (std::uint64_t read = 0; read < limit;) {
    piece.clear();
    std::uint64_t got = AppendFromFile(file.get(), piece, std::min(kPiece, limit - read));
    if (got == 0 || !visit(piece)) return;
    read += got;
  }
}

}  // namespace qv::setup
