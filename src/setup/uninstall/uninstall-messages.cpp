#include "setup/uninstall/uninstall-messages.h"

#include <windows.h>

#include "foundation/text/text.h"

namespace qv::setup {

int ShowUninstallMessage(const std::wstring& text, unsigned flags) {
  return ::MessageBoxW(nullptr, text.c_str(), std::wstring(kUninstallCaption).c_str(), flags);
}

std::wstring NoInstallationMessage(const std::filesystem::path& folder) {
  return L"No Q.V. DU Vora installation was found in:\n" + folder.native();
}

std::wstring UninstallQuestion(const std::filesystem::path& folder, bool remove_data) {
  const std::wstring start = L"Uninstall Q.V. DU Vora from:\n" + folder.native() + L"\n\n";
  if (remove_data) return start + L"Program files, saves and settings will be removed. Continue?";
  return start +
         L"Program files and desktop shortcut will be removed.\n"
         L"Your saves, settings (data/) and mods will be kept. Continue?";
}

std::wstring UninstalledMessage(std::uint32_t removed) {
  return L"Q.V. DU Vora has been uninstalled (" + Utf8ToWide(CountOf(removed, "file", "files")) + L" removed).";
}

}  // namespace qv::setup
