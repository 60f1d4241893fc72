#include "selftest/test-payload-hooks.h"

#include <set>
#include <stdexcept>

namespace qv::setup {

std::uint64_t TestPayloadSize(const std::string& payload) { return PayloadTotalSize(payload.data(), payload.size()); }

std::vector<PayloadEntry> ReadTestPayloadIndex(const std::string& payload) {
  return ReadPayloadIndex(payload.data(), payload.size());
}

std::vector<InstalledFile> ExtractTestPayload(const std::string& payload, const FileHasher& hasher,
                                              const std::filesystem::path& target) {
  return ExtractPayload(payload.data(), payload.size(), target, hasher);
}

std::vector<InstalledFile> ExtractTestPayloadEntries(const std::string& payload, const FileHasher& hasher,
                                                     const std::filesystem::path& target,
                                                     const std::vector<PayloadEntry>& entries) {
  std::set<std::string> names;
  for (const PayloadEntry& entry : entries) names.insert(entry.name);
  return ExtractPayload(payload.data(), payload.size(), target, hasher,
                        [&names](const std::string& name) { return names.count(name) != 0; });
}

void ThrowNoPackage(const std::filesystem::path&, const std::filesystem::path&) {
  throw std::runtime_error("no package in this test");
}

std::vector<std::filesystem::path> EmptyPathList() { return {}; }

}  // namespace qv::setup
