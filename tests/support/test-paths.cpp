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

std::filesystem::path SetupProgramPath() { return TestBinaryFolder() / L"Q.V.PC.Rure.Setup.exe"; }

}  // namespace qv::test
