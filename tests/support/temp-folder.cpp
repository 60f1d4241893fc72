#include "support/temp-folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"

namespace qv::test {

TempFolder::TempFolder(std::wstring_view tag) {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  std::filesystem::path base = length ? std::filesystem::path(std::wstring(temp, length)) : std::filesystem::temp_directory_path();
  for (;;) {
    std::wstring name = std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(::GetTickCount64() % 100000) + L"-" + std::to_wstring(counter++);
    path_ = base / name;
    if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create a temporary folder: " << ::GetLastError();
      break;
    }
  }
}

TempFolder::~TempFolder() { qv::setup::RemoveTree(path_); }

std::filesystem::path MakeDeepFolder(const std::filesystem::path& base, std::size_t length) {
  std::filesystem::path folder = base;
  for (int level = 0; folder.native().size() <= length; ++level) {
    folder /= L"level-" + std::to_wstring(level) + L"-0123456789abcdefghij";
    if (!::CreateDirectoryW(qv::setup::ApiPath(folder).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create a deep folder: " << ::GetLastError();
      break;
    }
  }
  return folder;
}

void WriteTestFile(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path.string();
}

std::string ReadTestFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path.string();
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qv::test
