#include "setup/desktop-shortcut.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "engine/records/existing-install.h"
#include "foundation/files/same-item.h"
#include "foundation/win/com-apartment.h"
#include "foundation/win/known-folder.h"
#include "foundation/win/unique-handle.h"
#include "setup/install-from-shortcut.h"
#include "setup/product-names.h"

namespace qv::setup {

std::optional<std::filesystem::path> DesktopShortcutPath() {
  std::optional<std::filesystem::path> desktop = KnownFolderPath(FOLDERID_Desktop);
  if (!desktop) return std::nullopt;
  return *desktop / std::wstring(kShortcutFileName);
}

void CreateDesktopShortcut(const std::filesystem::path& installation) {
  // The engine's thread may not have COM yet; it gets it for this call only.
  ComApartment apartment;
  UniqueCom<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put())))) {
    return;
  }
  // The installation folder as the engine passes it, so that the icon is the
  // game's own (it carries the title picture).
  const std::wstring game = (installation / std::wstring(kGameExecutableName)).native();
  link.get()->SetPath(game.c_str());
  link.get()->SetWorkingDirectory(installation.c_str());
  link.get()->SetDescription(std::wstring(kDisplayName).c_str());
  link.get()->SetIconLocation(game.c_str(), 0);

  const std::optional<std::filesystem::path> shortcut = DesktopShortcutPath();
  if (!shortcut) return;
  UniqueCom<IPersistFile> file;
  if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return;
  file.get()->Save(shortcut->c_str(), TRUE);
}

void RemoveDesktopShortcut(const std::filesystem::path& installation) {
  const std::filesystem::path linked = FindInstallFromShortcut();
  if (linked.empty() || !IsSameItem(linked, installation)) return;
  if (const std::optional<std::filesystem::path> shortcut = DesktopShortcutPath()) {
    ::DeleteFileW(shortcut->c_str());
  }
}

}  // namespace qv::setup
