#pragma once
// The bodies of the install hooks through which the self tests hand the
// install engine an in-memory test payload (BuildTestPayload) instead of the
// setup's own. Each takes the payload explicitly; the hook fillers bind them
// to the test's payload (by reference: it must outlive the hooks) and a copy
// of the test's file hasher.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/file-hash.h"
#include "foundation/payload-archive.h"

namespace qv::setup {

// The payload's total unpacked size (PayloadTotalSize).
std::uint64_t TestPayloadSize(const std::string& payload);

// The payload's entry table (ReadPayloadIndex).
std::vector<PayloadEntry> ReadTestPayloadIndex(const std::string& payload);

// Extracts the whole payload into `target` (ExtractPayload with `hasher`, no filter).
std::vector<InstalledFile> ExtractTestPayload(const std::string& payload, const FileHasher& hasher,
                                              const std::filesystem::path& target);

// Extracts only the listed entries: a name passes exactly when one of
// `entries` has it. An empty list extracts nothing.
std::vector<InstalledFile> ExtractTestPayloadEntries(const std::string& payload, const FileHasher& hasher,
                                                     const std::filesystem::path& target,
                                                     const std::vector<PayloadEntry>& entries);

// The console-package hook of tests without a package: raises
// std::runtime_error("no package in this test").
[[noreturn]] void ThrowNoPackage(const std::filesystem::path& source, const std::filesystem::path& target);

// No further folders to search for the player's game.
std::vector<std::filesystem::path> EmptyPathList();

}  // namespace qv::setup
