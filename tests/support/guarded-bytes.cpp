#include "support/guarded-bytes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace qv::test {

GuardedBytes::GuardedBytes(std::string_view bytes) : size_(bytes.size()) {
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const std::size_t page = system.dwPageSize;
  const std::size_t body = (bytes.size() + page - 1) / page * page;
  base_ = ::VirtualAlloc(nullptr, body + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!base_) {
    ADD_FAILURE() << "VirtualAlloc failed: " << ::GetLastError();
    return;
  }
  char* start = static_cast<char*>(base_);
  DWORD old_protection = 0;
  if (!::VirtualProtect(start + body, page, PAGE_NOACCESS, &old_protection)) {
    ADD_FAILURE() << "VirtualProtect failed: " << ::GetLastError();
  }
  char* data = start + body - bytes.size();
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  data_ = data;
}

GuardedBytes::~GuardedBytes() {
  if (base_) ::VirtualFree(base_, 0, MEM_RELEASE);
}

}  // namespace qv::test
