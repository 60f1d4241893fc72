#pragma once
// The installation's entry in the current user's list of installed programs,
// through which Windows starts the uninstaller.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Under HKEY_CURRENT_USER.
inline constexpr std::wstring_view kUninstallKeyPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QV_PC_Port";

// The bounds within which the top level's size is written as "EstimatedSize"
// (in KiB): from 1 KiB, below 2^42 bytes (the most a DWORD of KiB holds).
inline constexpr std::uint64_t kEstimatedSizeMinBytes = 1024;
inline constexpr std::uint64_t kEstimatedSizeLimitBytes = std::uint64_t{1} << 42;

// Creates or updates the entry so that it describes `installation` (made
// absolute and normal): "DisplayName", "DisplayVersion", "Publisher",
// "InstallLocation", "DisplayIcon", "UninstallString",
// "QuietUninstallString", "NoModify", "NoRepair", and "EstimatedSize" from
// the size of the files directly in the folder (deleted when that size is
// outside the bounds above, so that an earlier installation's figure never
// stays). Best effort: reports nothing when the key cannot be written.
void WriteUninstallEntry(const std::filesystem::path& installation);

// After an update of `installation` to `version`: when the entry names that
// folder (as DeleteUninstallEntry tells it), "DisplayVersion" becomes
// `version` and "EstimatedSize" the folder's size as WriteUninstallEntry
// writes it. No entry, or one that names another folder or none, stays as it
// is. Best effort: reports nothing.
void RefreshUninstallEntry(const std::filesystem::path& installation, const std::string& version);

// Deletes the entry with all its values when it describes `installation`: its
// "InstallLocation" names that folder (the same text, letter case aside, or
// the same folder on disk) or is missing. An entry that a later installation
// into another folder wrote stays, so that uninstalling an old copy does not
// unregister the current one. Best effort: reports nothing.
void DeleteUninstallEntry(const std::filesystem::path& installation);

}  // namespace qv::setup
