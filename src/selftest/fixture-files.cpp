#include "selftest/fixture-files.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "foundation/create-folders.h"
#include "foundation/paths.h"
#include "foundation/unique-handle.h"
#include "foundation/whole-file.h"
#include "foundation/file-reads.h"

namespace qv::setup {

void WriteFixtureFile(const std::filesystem::path& file, const std::string& bytes) {
  const std::filesystem::path parent = file.parent_path();
  if (!parent.empty()) CreateFolders(parent);
  UniqueFile out(::CreateFileW(ApiPath(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 1u << 30));
    if (!::WriteFile(out.get(), rest.data(), chunk, &written, nullptr) || written == 0) return;
    rest.remove_prefix(written);
  }
}

void WriteTextFile(const std::filesystem::path& file, const std::string& text) { WriteWholeFile(file, text); }

std::string ReadFileText(const std::filesystem::path& file) { return ReadSmallFile(file, UINT64_MAX); }

}  // namespace qv::setup
