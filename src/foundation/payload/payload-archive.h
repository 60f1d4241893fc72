#pragma once
// The payload archive "QVSETUP1": the port's own files, carried as a resource
// of the setup file (and of every downloaded setup file). All integers are
// unsigned little-endian:
//
//   "QVSETUP1" (8 bytes), entry count (u32, at most 10000), then per entry:
//   name length n (u16), name (n bytes of UTF-8, '/' separators), size (u64,
//   unpacked bytes), packed (u64), SHA-256 of the content (64 lower-case
//   hexadecimal characters), then `packed` bytes of one zlib stream.
//
// Nothing follows the last entry. The archive is read in place; every failure
// raises std::runtime_error with a sentence for the user.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"

namespace qv::setup {

// One entry as listed (also what the port's file list "qv-files.json" holds).
struct PayloadEntry {
  std::string name;    // UTF-8 relative path exactly as stored
  std::uint64_t size = 0;
  std::string sha256;  // the 64 stored characters exactly as stored
};

// One file written by extraction.
struct InstalledFile {
  std::string path;    // the entry name with '\' turned into '/', relative to the target folder
  std::string sha256;  // the stored digest, equal to the file's (extraction compared them)
};

// Decides by entry name (generic UTF-8) whether to extract it.
using PayloadFilter = std::function<bool(const std::string& name)>;

// The entries in archive order. Inflates nothing and checks no digest. Fails
// with "Truncated installer payload.", "Invalid installer payload.",
// "Invalid payload count.", "Invalid payload size." or "Unexpected payload data.".
std::vector<PayloadEntry> ReadPayloadIndex(const void* archive, std::size_t length);

// The sum of the entries' unpacked sizes (wrapping like any unsigned sum),
// from their headers alone: the progress total of an installation. Fails as
// ReadPayloadIndex does, except that bytes after the last entry are ignored.
std::uint64_t PayloadTotalSize(const void* archive, std::size_t length);

// Unpacks the entries that `filter` accepts (every entry when it is empty)
// under `target`, which must not yet hold any of them, and checks each file
// with `hasher` (which must be set) against its stored digest. Sends
// "Extracting <label>..." through LogLineHook whenever the label (the entry's
// first folder, or "program files" for files at the top) changes, raises
// ProgressCounters by every unpacked byte and polls CancelHook at least every
// MiB of output. Beyond ReadPayloadIndex's messages it fails with
// "Invalid payload size." (an entry above 512 MiB), "Unsafe payload path.",
// "The installer payload cannot contain files under data/.",
// "Duplicate payload path.", "Installer payload decompression failed.",
// "Could not write installation files.",
// "Installer payload integrity check failed." and "Installation cancelled.";
// folders that cannot be created or targets whose existence cannot be queried
// raise std::filesystem::filesystem_error ("create_directories", "exists").
// Files written before a failure stay; the caller discards the folder.
std::vector<InstalledFile> ExtractPayload(const void* archive, std::size_t length,
                                          const std::filesystem::path& target, const FileHasher& hasher,
                                          const PayloadFilter& filter = {});

// `name` (UTF-8, '/' or '\' separators) joined under `root`. Raises
// "Unsafe payload path." for anything that could leave the root: an absolute or
// rooted path, a drive or server name, an element that IsUnsafePathElement
// refuses ("." and "..", dots and blanks only, ':' anywhere, NUL) or invalid
// UTF-8. Empty elements pass: an empty name yields the root itself with a
// trailing separator.
std::filesystem::path SafePayloadPath(const std::filesystem::path& root, const std::string& name);

}  // namespace qv::setup
