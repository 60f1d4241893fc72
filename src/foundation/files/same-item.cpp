#include "foundation/files/same-item.h"

#include <windows.h>

#include <optional>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

struct ItemIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

std::optional<ItemIdentity> IdentityOf(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  // No access rights are needed for the identity; backup semantics opens folders.
  UniqueFile handle(::CreateFileW(ApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  return ItemIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

bool IsSameItem(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::optional<ItemIdentity> first = IdentityOf(a);
  if (!first) return false;
  const std::optional<ItemIdentity> second = IdentityOf(b);
  if (!second) return false;
  return first->volume == second->volume && first->index_high == second->index_high &&
         first->index_low == second->index_low;
}

}  // namespace qv::setup
