#pragma once
// The payload archive the running setup program carries as its resource
// RCDATA 100, read in place: the resource stays mapped with the program's
// image and nothing of it is copied. These are the payload operations the
// setup hands to the install engine.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "foundation/payload/payload-archive.h"

namespace qv::setup {

struct PayloadBytes {
  const void* data = nullptr;
  std::size_t size = 0;
};

// The embedded archive's bytes, valid for the life of the process; raises
// "Installer payload missing." when the program carries none.
PayloadBytes OwnPayload();

// PayloadTotalSize of the embedded archive.
std::uint64_t OwnPayloadTotalSize();

// Every entry of the embedded archive extracted into `folder` and checked
// with HashFile.
std::vector<InstalledFile> ExtractOwnPayload(const std::filesystem::path& folder);

// ReadPayloadIndex of the embedded archive.
std::vector<PayloadEntry> ReadOwnPayloadIndex();

// Only the entries named in `entries` (by name; duplicates count once)
// extracted into `folder` and checked with HashFile; an empty list extracts
// nothing.
std::vector<InstalledFile> ExtractOwnPayloadEntries(const std::filesystem::path& folder,
                                                    const std::vector<PayloadEntry>& entries);

}  // namespace qv::setup
