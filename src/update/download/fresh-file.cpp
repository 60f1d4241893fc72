#include "update/download/fresh-file.h"

#include <windows.h>

#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"

namespace qv::setup {

UniqueFile CreateFreshFile(const std::filesystem::path& file) {
  RemoveItem(file);
  return UniqueFile(::CreateFileW(ToLongPath(file.native()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace qv::setup
