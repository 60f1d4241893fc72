#include "support/uninstall-entry-probe.h"

#include <windows.h>

#include "foundation/win/unique-handle.h"
#include "setup/uninstall-entry.h"

namespace qv::test {

bool UninstallEntryExists() {
  qv::setup::UniqueRegistryKey key;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str(), 0, KEY_READ,
                         key.put()) == ERROR_SUCCESS;
}

std::wstring UninstallEntryLocation() {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str(), L"InstallLocation",
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

void DeleteUninstallEntryKey() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str());
}

}  // namespace qv::test
