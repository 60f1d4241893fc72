#include "routes/dlss5/dlss5-port-reshade.h"

#include <windows.h>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/paths.h"
#include "foundation/files/whole-copy.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-state.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// A plain file: readable, no folder, no link or junction.
bool IsPlainFile(const fs::path& path, const FileSystemView& view) {
  const std::optional<ItemInfo> info = ReadItemInfo(path, view);
  return info && !info->IsFolder() && !IsLinkOrJunction(path, view);
}

fs::path TemporaryCopy(const win_route::State& state) { return TemporaryCopyPath(state.game_folder / L"dxgi.dll"); }

bool CopyToNewFile(const fs::path& from, const fs::path& to) {
  return ::CopyFileW(ApiPath(from).c_str(), ApiPath(to).c_str(), TRUE) != 0;
}

}  // namespace

// The temporary name is the route's alone: whatever stands there is a copy a
// killed run left (or would be written through), never anything of the user's.
void DeleteLeftoverReShadeCopy(const win_route::State& state) {
  ::DeleteFileW(ApiPath(TemporaryCopy(state)).c_str());
}

PortReShade PutDownPortReShade(const win_route::State& state, const FileCopier& copy, const FileSystemView& view) {
  const fs::path source = state.game_folder / L"reshade" / L"dxgi.dll";
  const fs::path target = state.game_folder / L"dxgi.dll";
  const fs::path temporary = TemporaryCopy(state);
  // A leftover of an earlier run goes first, as itself, also when nothing is
  // put down this time: the copy then creates a new file and never writes
  // through whatever stood under the name.
  DeleteLeftoverReShadeCopy(state);
  PortReShade result;
  if (!IsPlainFile(source, view)) {
    result.reason = "the package has no " + NativePathToUtf8(source);
    return result;
  }

  const auto discard_temporary = [&] { DeleteLeftoverReShadeCopy(state); };
  if (!(copy ? copy(source, temporary) : CopyToNewFile(source, temporary))) {
    discard_temporary();
    result.reason = "could not replace " + NativePathToUtf8(target);
    return result;
  }
  // Checked before the rename: once the copy has replaced the tool's
  // "dxgi.dll" a bad copy could no longer be told from a good one on removal.
  const std::string copied = HashFileOrEmpty(temporary);
  if (copied.empty() || copied != HashFileOrEmpty(source)) {
    discard_temporary();
    result.reason = "the copied " + NativePathToUtf8(target) + " does not match the package's";
    return result;
  }
  // Both names lie in the game folder: the rename moves no data.
  if (!::MoveFileExW(ApiPath(temporary).c_str(), ApiPath(target).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    discard_temporary();
    result.reason = "could not replace " + NativePathToUtf8(target);
    return result;
  }
  result.sha256 = copied;
  return result;
}

void DeletePortReShade(const win_route::State& state, const std::string& recorded_sha256,
                       const FileSystemView& view) {
  // A run killed while it put the copy down left it; removal takes it too.
  DeleteLeftoverReShadeCopy(state);
  const fs::path target = state.game_folder / L"dxgi.dll";
  if (recorded_sha256.empty() || !IsPlainFile(target, view)) return;
  if (HashFileOrEmpty(target) != recorded_sha256) return;  // the user's own file since
  LogDlss5Route(state,
                ::DeleteFileW(ApiPath(target).c_str()) ? "the port's own ReShade (dxgi.dll) deleted"
                                                        : "the port's own ReShade (dxgi.dll) could not be deleted",
                view);
}

}  // namespace qv::setup
