#include "setup/inside-folder.h"

#include <system_error>

#include "foundation/files/canonical-path.h"

namespace qv::setup {

bool IsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path resolved_path = WeaklyCanonicalPath(path, error);
  if (error) return false;
  const std::filesystem::path resolved_folder = WeaklyCanonicalPath(folder, error);
  if (error) return false;
  // Empty when the two share no root (another drive or share).
  const std::filesystem::path relative = resolved_path.lexically_relative(resolved_folder);
  if (relative.empty()) return false;
  return *relative.begin() != L"..";
}

}  // namespace qv::setup
