#include "foundation/win/process-helpers.h"

#include <windows.h>


#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {

std::filesystem::path OwnExecutablePath() {
  // A result that fills the buffer may be cut short: ask again with twice the
  // room, up to the longest path the system has.
  constexpr DWORD kLargestTried = 32767;
  for (DWORD size = MAX_PATH;; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return {};
    if (length < size) {
      buffer.resize(length);
      return std::filesystem::path(std::move(buffer));
    }
    if (size > kLargestTried) return {};
  }
}

std::string GetEnvUtf8(std::string_view ascii_name) {
  std::wstring name;
  for (char c : ascii_name) name.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), size);
  // 0: empty value; size or more: the variable grew meanwhile.
  if (length == 0 || length >= size) return {};
  value.resize(length);
  return NativePathToUtf8(std::filesystem::path(std::move(value)));
}

bool AllowForeground(std::uint32_t process_id) {
  return ::AllowSetForegroundWindow(process_id == 0 ? ASFW_ANY : process_id) != FALSE;
}

bool IsProcessRunning(std::uint32_t process_id) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD exit_code = 0;
  return ::GetExitCodeProcess(process.get(), &exit_code) && exit_code == STILL_ACTIVE;
}

}  // namespace qv::setup
