#include "foundation/files/create-folders.h"

#include <windows.h>

#include <system_error>
#include <vector>

#include "foundation/files/paths.h"

namespace qv::setup {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& folder, DWORD code) {
  throw std::filesystem::filesystem_error("create_directories", folder,
                                          std::error_code(static_cast<int>(code), std::system_category()));
}

}  // namespace

void CreateFolders(const std::filesystem::path& folder) {
  // Climb to the nearest existing ancestor, then create downwards.
  std::vector<std::filesystem::path> missing;
  std::filesystem::path current = folder;
  while (!current.empty()) {
    DWORD attributes = ::GetFileAttributesW(ToLongPath(current.native()).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) Fail(folder, ERROR_DIRECTORY);
      break;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail(folder, error);
    missing.push_back(current);
    std::filesystem::path parent = current.parent_path();
    if (parent == current) break;
    current = std::move(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!::CreateDirectoryW(ToLongPath(it->native()).c_str(), nullptr)) {
      DWORD error = ::GetLastError();
      if (error != ERROR_ALREADY_EXISTS) Fail(folder, error);
    }
  }
}

}  // namespace qv::setup
