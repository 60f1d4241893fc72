#pragma once
// The receiver of one range answer: the bytes of a group of neighbouring zlib
// streams of the setup file, inflated while they arrive into one file per
// entry under the target folder. Bytes between the entries are skipped, bytes
// after the last one ignored. The first failure is kept as a lower-case reason
// ("the data of <path> is damaged", ...) and stops the transfer.

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"
#include "update/signed-manifest.h"

namespace qv::setup {

class RangeUnpacker {
 public:
  // `entries`: the group, sorted by offset and not overlapping; `start`: the
  // setup-file position of the answer's first byte (the first entry's offset).
  RangeUnpacker(std::filesystem::path root, std::vector<const qv::update::FileEntry*> entries, std::uint64_t start);
  RangeUnpacker(const RangeUnpacker&) = delete;
  RangeUnpacker& operator=(const RangeUnpacker&) = delete;
  ~RangeUnpacker();

  // The body sink of the range request: false once a failure is recorded,
  // which ends the transfer. Never raises.
  bool Write(const char* data, std::uint64_t length);

  // Every entry of the group arrived complete and was written.
  bool Complete() const { return index_ >= entries_.size(); }
  // The first failure's reason; empty while all is well.
  const std::string& error() const { return error_; }
  // The path of the first entry that has not arrived complete ("" when none).
  std::string FirstIncompletePath() const;

 private:
  bool Feed(const char* data, std::uint64_t length);
  bool BeginEntry();
  bool Consume(const unsigned char* data, std::uint64_t length);
  bool FinishEntry();
  void CloseEntry();
  bool Fail(std::string reason);

  std::filesystem::path root_;
  std::vector<const qv::update::FileEntry*> entries_;
  std::uint64_t position_ = 0;  // setup-file position of the next byte to arrive
  std::size_t index_ = 0;       // the entry being written
  z_stream stream_{};
  bool stream_ready_ = false;   // stream_ holds an inflate state to end
  UniqueFile file_;
  bool open_ = false;
  bool ended_ = false;          // the entry's zlib stream reached its end
  bool written_ok_ = true;      // every write of the entry's file succeeded
  std::uint64_t produced_ = 0;  // unpacked bytes of the entry so far
  std::vector<unsigned char> output_;
  std::string error_;
};

}  // namespace qv::setup
