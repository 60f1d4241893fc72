#pragma once
// The desktop shortcut to the installed game: "Q.V. DU Vora.lnk" on the
// current user's desktop, pointing at "qv.exe" with the game's own icon.

#include <filesystem>
#include <optional>
#include <string_view>

namespace qv::setup {

inline constexpr std::wstring_view kShortcutFileName = L"Q.V. DU Vora.lnk";

// The shortcut's file: the current user's Desktop joined with
// "Q.V. DU Vora.lnk"; nullopt when the system has no Desktop folder.
std::optional<std::filesystem::path> DesktopShortcutPath();

// Writes (or overwrites) the shortcut to `installation`'s "qv.exe", working
// in `installation`, described "Q.V. DU Vora", with icon 0 of "qv.exe".
// Best effort: never raises; a failure leaves no shortcut or an incomplete
// one, and a finished installation never fails for it.
void CreateDesktopShortcut(const std::filesystem::path& installation);

// Deletes the shortcut when it leads to the installation in `installation`
// (FindInstallFromShortcut names the same folder); a shortcut to another
// installation, or one that leads nowhere, stays. Never raises.
void RemoveDesktopShortcut(const std::filesystem::path& installation);

}  // namespace qv::setup
