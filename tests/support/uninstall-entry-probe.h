#pragma once
// The uninstall entry as tests read it back from the current user's registry.

#include <string>

namespace qv::test {

// True when the entry's key exists.
bool UninstallEntryExists();

// The entry's "InstallLocation"; empty when the key or the value is missing.
std::wstring UninstallEntryLocation();

// Deletes the entry's key with everything in it (before and after a test).
void DeleteUninstallEntryKey();

}  // namespace qv::test
