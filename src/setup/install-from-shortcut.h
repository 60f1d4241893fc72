#pragma once
// Where the user's existing installation is, as far as the desktop shortcut
// that the setup made tells it: the setup window offers that folder, and
// uninstall removes the shortcut only when it leads to the folder it removes.

#include <filesystem>

namespace qv::setup {

// The folder of the installation the shortcut file points to (the parent of
// its target); empty when the file is missing, a link, a junction or a folder,
// cannot be read as a shortcut, or its folder holds no installation.
std::filesystem::path InstallFromShortcutFile(const std::filesystem::path& shortcut);

// InstallFromShortcutFile of "Q.V. DU Vora.lnk" on the user's desktop.
std::filesystem::path FindInstallFromShortcut();

}  // namespace qv::setup
