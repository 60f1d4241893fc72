// A stand-in for the installed game "qv.exe", which cannot exist here: the
// tests place a copy in a game folder and see how the updater or a route
// window started it. Each start appends one record to
// "<its own folder>\data\qv-stand-in-runs.txt" ("data" is created when
// missing), written in one piece so that a reader never sees half a record:
//   run
//   arg <hexadecimal UTF-8 of one argument>     one line per argument, in order
//   folder <the current folder, UTF-8>
//   build <SHA-256 of its own file>             tells two copies apart
//   end
// It then exits with 0.

#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <string>

#include "foundation/file-hash.h"
#include "foundation/hex-text.h"
#include "foundation/paths.h"
#include "foundation/process-helpers.h"
#include "foundation/text.h"
#include "foundation/unique-handle.h"

namespace {

std::string CurrentFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  buffer.resize(length);
  return qv::setup::WideToUtf8(buffer);
}

std::string Record(int argc, wchar_t** argv, const std::filesystem::path& own_path) {
  std::string record = "run\n";
  for (int i = 1; i < argc; ++i) {
    const std::string utf8 = qv::setup::WideToUtf8(argv[i]);
    record += "arg " + qv::setup::HexEncode(utf8.data(), utf8.size()) + "\n";
  }
  record += "folder " + CurrentFolder() + "\n";
  std::string build;
  try {
    build = qv::setup::HashFile(own_path);
  } catch (const std::exception&) {
    build = "unreadable";
  }
  record += "build " + build + "\nend\n";
  return record;
}

bool AppendRecord(const std::filesystem::path& data, const std::string& record) {
  ::CreateDirectoryW(qv::setup::ToLongPath(data.native()).c_str(), nullptr);
  const std::filesystem::path runs = data / L"qv-stand-in-runs.txt";
  qv::setup::UniqueFile file(::CreateFileW(qv::setup::ToLongPath(runs.native()).c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
         written == record.size();
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv) return 99;
  const std::filesystem::path own_path = qv::setup::OwnExecutablePath();
  if (own_path.empty()) return 98;
  return AppendRecord(own_path.parent_path() / L"data", Record(argc, argv.get(), own_path)) ? 0 : 97;
}
