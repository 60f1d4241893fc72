#include "foundation/files/whole-file.h"

#include <windows.h>

#include <algorithm>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {

bool WriteWholeFile(const std::filesystem::path& path, std::string_view text) {
  const std::wstring name = ApiPath(path);
  ::DeleteFileW(name.c_str());  // a failure shows when the file is created
  UniqueFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return false;
  while (!text.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  // On disk before a rename makes it the record: after a power cut the record
  // is the old one or the complete new one, never an empty file.
  if (!::FlushFileBuffers(file.get())) return false;
  return ::CloseHandle(file.release()) != 0;  // closed by hand to see its result
}

}  // namespace qv::setup
