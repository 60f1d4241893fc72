#include "support/test-paths.h"

#include <windows.h>

#include <string>

namespace qv::test {

std::filesystem::path TestBinaryFolder() {
  std::wstring buffer(32768, L'\0');
  DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(length);
  return std::filesystem::path(buffer).parent_path();
}

}  // namespace qv::test
