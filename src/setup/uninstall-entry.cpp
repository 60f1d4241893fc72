#include "setup/uninstall-entry.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "engine/records/existing-install.h"
#include "foundation/files/paths.h"
#include "foundation/files/same-item.h"
#include "foundation/text/command-line.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "setup/folder-size.h"
#include "setup/product-names.h"
#include "update/build-identity.h"

namespace qv::setup {
namespace {

void SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  // The stored length counts the terminating NUL.
  ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value) {
  ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The entry's "InstallLocation"; nullopt when the value is missing or not text.
std::optional<std::wstring> ReadInstallLocation() {
  const std::wstring key(kUninstallKeyPath);
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"InstallLocation", RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"InstallLocation", RRF_RT_REG_SZ, nullptr, value.data(),
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(value.find(L'\0'));
  return value;
}

bool NamesFolder(const std::wstring& location, const std::filesystem::path& folder) {
  // The entry names the folder as WriteUninstallEntry normalised it; the
  // folder on disk may be gone by now, so the text decides first.
  try {
    const std::wstring recorded = NormalAbsolutePath(location).native();
    const std::wstring removed = NormalAbsolutePath(folder).native();
    if (::CompareStringOrdinal(recorded.c_str(), static_cast<int>(recorded.size()), removed.c_str(),
                               static_cast<int>(removed.size()), TRUE) == CSTR_EQUAL) {
      return true;
    }
  } catch (const std::exception&) {
    return false;
  }
  return IsSameItem(location, folder);
}

// "EstimatedSize" from the top level of `folder`, or none when its size is
// outside the bounds: an earlier figure would describe other files.
void SetEstimatedSize(HKEY key, const std::filesystem::path& folder) {
  const std::uint64_t size = FolderSize(folder);
  if (size >= kEstimatedSizeMinBytes && size < kEstimatedSizeLimitBytes) {
    SetNumber(key, L"EstimatedSize", static_cast<DWORD>(size / 1024));
  } else {
    ::RegDeleteValueW(key, L"EstimatedSize");
  }
}

}  // namespace

void DeleteUninstallEntry(const std::filesystem::path& installation) {
  if (const std::optional<std::wstring> location = ReadInstallLocation()) {
    if (!location->empty() && !NamesFolder(*location, installation)) return;
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(kUninstallKeyPath).c_str());
}

void WriteUninstallEntry(const std::filesystem::path& installation) {
  UniqueRegistryKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, std::wstring(kUninstallKeyPath).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::filesystem::path folder = NormalAbsolutePath(installation);
  const std::wstring uninstaller = QuoteArg((folder / std::wstring(kUninstallerName)).native());
  const std::wstring quoted_folder = QuoteArg(folder.native());

  SetText(key.get(), L"DisplayName", std::wstring(kDisplayName));
  SetText(key.get(), L"DisplayVersion", Utf8ToWide(qv::update::CurrentVersion()));
  SetText(key.get(), L"Publisher", std::wstring(kDisplayName));
  SetText(key.get(), L"InstallLocation", folder.native());
  SetText(key.get(), L"DisplayIcon", (folder / std::wstring(kGameExecutableName)).native() + L",0");
  SetText(key.get(), L"UninstallString", uninstaller + L" --uninstall " + quoted_folder);
  SetText(key.get(), L"QuietUninstallString", uninstaller + L" --uninstall --silent " + quoted_folder);
  SetNumber(key.get(), L"NoModify", 1);
  SetNumber(key.get(), L"NoRepair", 1);
  SetEstimatedSize(key.get(), folder);
}

void RefreshUninstallEntry(const std::filesystem::path& installation, const std::string& version) {
  const std::optional<std::wstring> location = ReadInstallLocation();
  if (!location || location->empty() || !NamesFolder(*location, installation)) return;
  UniqueRegistryKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(kUninstallKeyPath).c_str(), 0, KEY_SET_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  SetText(key.get(), L"DisplayVersion", Utf8ToWide(version));
  try {
    SetEstimatedSize(key.get(), NormalAbsolutePath(installation));
  } catch (const std::exception&) {
    // A folder that has no absolute form has no size to tell.
  }
}

}  // namespace qv::setup
