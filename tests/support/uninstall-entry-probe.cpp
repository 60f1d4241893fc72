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

std::optional<std::wstring> UninstallEntryText(const wchar_t* name) {
  const std::wstring key(qv::setup::kUninstallKeyPath);
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(value.find(L'\0'));
  return value;
}

std::optional<std::uint32_t> UninstallEntryNumber(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str(), name, RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void DeleteUninstallEntryKey() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str());
}

}  // namespace qv::test
