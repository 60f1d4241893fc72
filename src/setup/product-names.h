#pragma once
// The names under which the installed game shows itself to the user and to
// Windows. Uninstall removes what the setup created under the same names.

#include <string_view>

namespace qv::setup {

// Shortcut, uninstall entry and default installation folder.
inline constexpr std::wstring_view kDisplayName = L"Q.V. DU Vora";
// The uninstaller the payload installs into the installation folder (a copy
// of the setup program; started with "--uninstall").
inline constexpr std::wstring_view kUninstallerName = L"qv-updater.exe";

}  // namespace qv::setup
