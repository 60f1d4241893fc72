#include "foundation/win/elevation.h"

#include <windows.h>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

bool IsRunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<bool> QueryProcessElevation() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
    return std::nullopt;
  }
  if (IsRunningUnderWine()) return false;
  return elevation.TokenIsElevated != 0;
}

bool IsProcessElevated() { return QueryProcessElevation().value_or(false); }

}  // namespace qv::setup
