#include "foundation/win/known-folder.h"

#include "foundation/win/unique-handle.h"

namespace qv::setup {

std::optional<std::filesystem::path> KnownFolderPath(const KNOWNFOLDERID& id) {
  // The shell's buffer is ours to free whether the query succeeds or not.
  UniqueCoTaskMemory<PWSTR> path;
  const HRESULT result = ::SHGetKnownFolderPath(id, 0, nullptr, path.put());
  if (FAILED(result) || !path) return std::nullopt;
  return std::filesystem::path(path.get());
}

}  // namespace qv::setup
