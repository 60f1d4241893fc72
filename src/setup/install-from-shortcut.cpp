#include "setup/install-from-shortcut.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <exception>
#include <optional>
#include <string>

#include "engine/records/existing-install.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/item-status.h"
#include "foundation/win/com-apartment.h"
#include "foundation/win/unique-handle.h"
#include "setup/desktop-shortcut.h"

namespace qv::setup {
namespace {

// The longest target a link can hold, with its terminator.
constexpr int kLinkTargetLength = 32768;

// The link's target as stored (environment variables not expanded).
std::optional<std::wstring> ShortcutTarget(const std::filesystem::path& shortcut) {
  ComApartment apartment;
  UniqueCom<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put())))) {
    return std::nullopt;
  }
  UniqueCom<IPersistFile> file;
  if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return std::nullopt;
  if (FAILED(file.get()->Load(shortcut.c_str(), STGM_READ))) return std::nullopt;
  std::wstring target(kLinkTargetLength, L'\0');
  if (FAILED(link.get()->GetPath(target.data(), kLinkTargetLength, nullptr, SLGP_RAWPATH))) return std::nullopt;
  target.resize(target.find(L'\0'));
  return target;
}

}  // namespace

std::filesystem::path InstallFromShortcutFile(const std::filesystem::path& shortcut) {
  // Only a plain file is read: a link or junction standing in the shortcut's
  // place was not made by the setup.
  const std::optional<ItemInfo> item = ReadItemInfo(shortcut);
  if (!item || item->IsFolder() || item->IsSymbolicLink() || item->IsJunction()) return {};
  const std::optional<std::wstring> target = ShortcutTarget(shortcut);
  if (!target || target->empty()) return {};
  const std::filesystem::path folder = ParentFolder(std::filesystem::path(*target));
  if (folder.empty()) return {};
  try {
    if (ReadExistingInstall(folder).is_install) return folder;
  } catch (const std::exception&) {
    // A folder that cannot be read is no installation.
  }
  return {};
}

std::filesystem::path FindInstallFromShortcut() {
  const std::optional<std::filesystem::path> shortcut = DesktopShortcutPath();
  if (!shortcut) return {};
  return InstallFromShortcutFile(*shortcut);
}

}  // namespace qv::setup
