#pragma once
// The uninstall entry as tests read it back from the current user's registry.

#include <cstdint>
#include <optional>
#include <string>

namespace qv::test {

// True when the entry's key exists.
bool UninstallEntryExists();

// The entry's "InstallLocation"; empty when the key or the value is missing.
std::wstring UninstallEntryLocation();

// One text (REG_SZ) or number (REG_DWORD) value of the entry; nullopt when
// the key or the value is missing or of another type.
std::optional<std::wstring> UninstallEntryText(const wchar_t* name);
std::optional<std::uint32_t> UninstallEntryNumber(const wchar_t* name);

// Deletes the entry's key with everything in it (before and after a test).
void DeleteUninstallEntryKey();

}  // namespace qv::test
