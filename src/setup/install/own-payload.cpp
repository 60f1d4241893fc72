#include "setup/install/own-payload.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "foundation/crypto/file-hash.h"

namespace qv::setup {
namespace {

constexpr WORD kPayloadResourceId = 100;

}  // namespace

PayloadBytes OwnPayload() {
  // The resource is part of the program's mapped image: locking it hands out
  // a pointer into that mapping, so even a payload of hundreds of MiB costs
  // no private memory.
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadResourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = resource ? ::LoadResource(self, resource) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) throw std::runtime_error("Installer payload missing.");
  return PayloadBytes{data, ::SizeofResource(self, resource)};
}

std::uint64_t OwnPayloadTotalSize() {
  const PayloadBytes payload = OwnPayload();
  return PayloadTotalSize(payload.data, payload.size);
}

std::vector<InstalledFile> ExtractOwnPayload(const std::filesystem::path& folder) {
  const PayloadBytes payload = OwnPayload();
  return ExtractPayload(payload.data, payload.size, folder, HashFile);
}

std::vector<PayloadEntry> ReadOwnPayloadIndex() {
  const PayloadBytes payload = OwnPayload();
  return ReadPayloadIndex(payload.data, payload.size);
}

std::vector<InstalledFile> ExtractOwnPayloadEntries(const std::filesystem::path& folder,
                                                    const std::vector<PayloadEntry>& entries) {
  // The filter sees names in generic form; so must the set.
  std::set<std::string> names;
  for (const PayloadEntry& entry : entries) {
    std::string name = entry.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    names.insert(std::move(name));
  }
  const PayloadBytes payload = OwnPayload();
  return ExtractPayload(payload.data, payload.size, folder, HashFile,
                        [&names](const std::string& name) { return names.count(name) != 0; });
}

}  // namespace qv::setup
