#pragma once
// Zip archives for tests (the frame-generation unlock's package), written
// with zlib: local headers, stored or raw-deflated data, the central
// directory and its end record. No zip64, no data descriptors, no encryption.

#include <string>
#include <vector>

namespace qv::test {

struct ZipEntry {
  std::string name;     // as stored; a name ending in "/" is a folder entry
  std::string content;  // empty for a folder entry
  bool deflated = true;  // else stored
};

// The archive's bytes, entries in the given order.
std::string BuildZip(const std::vector<ZipEntry>& entries);

}  // namespace qv::test
