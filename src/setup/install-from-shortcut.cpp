#include "setup/install-from-shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "engine/existing-install.h"
#include "foundation/file-system-view.h"
#include "foundation/item-status.h"
#include "foundation/unique-handle.h"

namespace qv::setup {
namespace {

constexpr DWORD kLinkPathLength = 32768;

template <typename Interface>
struct ComInterfaceTraits {
  using Value = Interface*;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { v->Release(); }
};
template <typename Interface>
using ComOwner = UniqueResource<ComInterfaceTraits<Interface>>;

void FreeTaskText(PWSTR text) noexcept { ::CoTaskMemFree(text); }
using UniqueTaskText = UniqueResource<NullableHandleTraits<PWSTR, &FreeTaskText>>;

class ComScope {
 public:
  ComScope() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

// The shortcut's raw target, as stored (environment variables not expanded).
std::optional<std::wstring> ShortcutTarget(const std::filesystem::path& shortcut) {
  ComScope com;
  ComOwner<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put())))) {
    return std::nullopt;
  }
  ComOwner<IPersistFile> file;
  if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return std::nullopt;
  if (FAILED(file.get()->Load(shortcut.c_str(), STGM_READ))) return std::nullopt;
  std::vector<wchar_t> target(kLinkPathLength, L'\0');
  if (FAILED(link.get()->GetPath(target.data(), static_cast<int>(kLinkPathLength), nullptr, SLGP_RAWPATH))) {
    return std::nullopt;
  }
  return std::wstring(target.data());  // up to the first NUL
}

}  // namespace

std::filesystem::path InstallFromShortcutFile(const std::filesystem::path& shortcut) {
  // The shortcut is followed only when it is a plain file: a link or junction
  // in its place was not made by the setup.
  const std::optional<ItemInfo> item = ReadItemInfo(shortcut);
  if (!item || item->IsFolder() || item->IsSymbolicLink() || item->IsJunction()) return {};
  const std::optional<std::wstring> target = ShortcutTarget(shortcut);
  if (!target || target->empty()) return {};
  const std::filesystem::path folder = ParentFolder(std::filesystem::path(*target));
  if (folder.empty()) return {};
  try {
    if (ReadExistingInstall(folder).is_install) return folder;
  } catch (const std::exception&) {
    // A folder that cannot be read is no installation to offer.
  }
  return {};
}

std::filesystem::path FindInstallFromShortcut() {
  UniqueTaskText desktop;
  if (FAILED(::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, desktop.put())) || !desktop) return {};
  return InstallFromShortcutFile(std::filesystem::path(desktop.get()) / L"Q.V. DU Vora.lnk");
}

}  // namespace qv::setup
