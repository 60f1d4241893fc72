#include "update/download/range-unpacker.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "foundation/files/create-folders.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-archive.h"
#include "update/download/fresh-file.h"

namespace qv::setup {
namespace {

constexpr uInt kOutputBuffer = 64 * 1024;
// zlib counts its input in uInt; a piece of an answer never comes near this.
constexpr std::uint64_t kMaxInflateInput = 1u << 30;

// A path that SafePayloadPath joins under the root, and that names neither an
// empty element nor a device (writing "COM1" would reach the port, not a file).
bool IsWritablePayloadPath(const std::filesystem::path& root, const std::string& path) {
  try {
    SafePayloadPath(root, path);
    return IsSafeRelativePath(path) && !NamesDevice(path);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

RangeUnpacker::RangeUnpacker(std::filesystem::path root, std::vector<const qv::update::FileEntry*> entries,
                             std::uint64_t start)
    : root_(std::move(root)), entries_(std::move(entries)), position_(start) {}

RangeUnpacker::~RangeUnpacker() { CloseEntry(); }

std::string RangeUnpacker::FirstIncompletePath() const {
  return Complete() ? std::string() : entries_[index_]->path;
}

bool RangeUnpacker::Write(const char* data, std::uint64_t length) {
  if (!error_.empty() || length == 0) return error_.empty();
  // Called from inside the HTTP client: nothing may escape from here.
  try {
    return Feed(data, length);
  } catch (const std::exception& failure) {
    return Fail(failure.what());
  } catch (...) {
    return Fail("the download could not be unpacked");
  }
}

bool RangeUnpacker::Feed(const char* data, std::uint64_t length) {
  while (length > 0 && error_.empty()) {
    if (Complete()) return true;  // after the group's last stream: not ours
    const qv::update::FileEntry& entry = *entries_[index_];
    std::uint64_t take = 0;
    if (position_ < entry.offset) {
      take = std::min(entry.offset - position_, length);  // a gap between two streams
    } else {
      // Groups never overlap; an entry that starts before the answer's
      // position could only be written in part.
      if (!open_ && (position_ != entry.offset || !BeginEntry())) {
        if (error_.empty()) Fail("the data of " + entry.path + " is incomplete");
        break;
      }
      take = std::min(entry.offset + entry.packed - position_, length);
      if (!Consume(reinterpret_cast<const unsigned char*>(data), take)) break;
    }
    data += take;
    length -= take;
    position_ += take;
    if (open_ && position_ == entry.offset + entry.packed && !FinishEntry()) break;
  }
  return error_.empty();
}

bool RangeUnpacker::BeginEntry() {
  const qv::update::FileEntry& entry = *entries_[index_];
  if (!IsWritablePayloadPath(root_, entry.path)) return Fail("unsafe path " + entry.path);
  const std::filesystem::path target = SafePayloadPath(root_, entry.path);

  try {
    CreateFolders(target.parent_path());
  } catch (const std::exception&) {
    // Creating the file below tells whether the folder is usable.
  }
  // A file of an earlier attempt is replaced; whatever else stands there (a
  // link, a folder) is removed as itself or makes the creation fail, so the
  // write never follows a link out of the folder.
  file_ = CreateFreshFile(target);
  if (!file_) return Fail("could not create " + entry.path);

  stream_ = z_stream{};
  // The linked zlib's own version: inflateInit refuses only another major one.
  if (inflateInit(&stream_) != Z_OK) {
    file_.reset();
    return Fail("zlib failed");
  }
  stream_ready_ = true;
  open_ = true;
  ended_ = false;
  written_ok_ = true;
  produced_ = 0;
  if (output_.empty()) output_.resize(kOutputBuffer);
  return true;
}

bool RangeUnpacker::Consume(const unsigned char* data, std::uint64_t length) {
  const qv::update::FileEntry& entry = *entries_[index_];
  while (length > 0) {
    const auto piece = static_cast<uInt>(std::min(length, kMaxInflateInput));
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = piece;
    data += piece;
    length -= piece;
    bool filled = false;
    while (stream_.avail_in > 0 || filled) {
      if (ended_) {
        if (stream_.avail_in > 0) return Fail("the data of " + entry.path + " runs on past its end");
        break;
      }
      stream_.next_out = output_.data();
      stream_.avail_out = kOutputBuffer;
      const uInt input_before = stream_.avail_in;
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        return Fail("the data of " + entry.path + " is damaged");
      }
      const uInt got = kOutputBuffer - stream_.avail_out;
      filled = stream_.avail_out == 0;
      if (got > entry.size - produced_) return Fail("the data of " + entry.path + " is larger than its size");
      produced_ += got;
      if (got > 0) {
        DWORD done = 0;
        if (!::WriteFile(file_.get(), output_.data(), got, &done, nullptr) || done != got) {
          written_ok_ = false;
          return Fail("could not write " + entry.path);
        }
        AddProgress(got);
      }
      if (result == Z_STREAM_END) ended_ = true;
      // No input taken and no output made: zlib needs more than this piece.
      if (!ended_ && got == 0 && stream_.avail_in == input_before) break;
    }
  }
  return true;
}

bool RangeUnpacker::FinishEntry() {
  const qv::update::FileEntry& entry = *entries_[index_];
  if (!ended_ || produced_ != entry.size) return Fail("the data of " + entry.path + " is incomplete");
  // Closed by hand: a close that fails may have lost the file's last bytes.
  if (file_ && !::CloseHandle(file_.release())) written_ok_ = false;
  CloseEntry();
  if (!written_ok_) return Fail("could not write " + entry.path);
  ++index_;
  return true;
}

void RangeUnpacker::CloseEntry() {
  if (stream_ready_) inflateEnd(&stream_);
  stream_ready_ = false;
  file_.reset();
  open_ = false;
}

bool RangeUnpacker::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  CloseEntry();
  return false;
}

}  // namespace qv::setup
