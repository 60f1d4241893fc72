#include "setup/uninstall/uninstall-handoff.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/command-line.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::wstring_view kCopyExtension = L".exe";
constexpr size_t kMostProcessIdDigits = 10;  // 4294967295

// Keeps the command interpreter from running a "ping" planted in the folder it
// starts in: with this variable set it looks for programs on the PATH only.
constexpr std::wstring_view kNoCurrentFolderSearch = L"NoDefaultCurrentDirectoryInExePath=1";

// This process's environment with one more "NAME=value" entry, as a block for
// CreateProcessW (CREATE_UNICODE_ENVIRONMENT): entries each ending in NUL,
// then one more NUL. An entry of the same name is replaced.
std::vector<wchar_t> EnvironmentWith(std::wstring_view entry) {
  const std::wstring_view name = entry.substr(0, entry.find(L'=') + 1);  // "NAME="
  std::vector<wchar_t> block;
  if (LPWCH strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* item = strings; *item != L'\0'; item += std::wcslen(item) + 1) {
      const std::wstring_view text(item);
      if (text.size() >= name.size() && ::CompareStringOrdinal(text.data(), static_cast<int>(name.size()), name.data(),
                                                               static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
        continue;
      }
      block.insert(block.end(), text.begin(), text.end());
      block.push_back(L'\0');
    }
    ::FreeEnvironmentStringsW(strings);
  }
  block.insert(block.end(), entry.begin(), entry.end());
  block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Starts a program without waiting for it; true when it runs.
bool StartDetached(const fs::path& application, std::wstring command_line, const fs::path& current_folder, DWORD flags,
                   wchar_t* environment) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(ApiPath(application).c_str(), command_line.data(), nullptr, nullptr, FALSE, flags, environment,
                        current_folder.c_str(), &startup, &info)) {
    return false;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  return true;
}

fs::path SystemFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  const UINT length = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return fs::path(std::move(buffer));
}

}  // namespace

std::wstring TemporaryCopyName(std::uint32_t process_id) {
  return std::wstring(kTemporaryCopyPrefix) + std::to_wstring(process_id) + std::wstring(kCopyExtension);
}

bool IsTemporaryCopyName(std::wstring_view name) {
  if (!name.starts_with(kTemporaryCopyPrefix) || !name.ends_with(kCopyExtension)) return false;
  const std::wstring_view digits =
      name.substr(kTemporaryCopyPrefix.size(), name.size() - kTemporaryCopyPrefix.size() - kCopyExtension.size());
  if (digits.empty() || digits.size() > kMostProcessIdDigits) return false;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

std::wstring TemporaryCopyCommandLine(const fs::path& copy, const fs::path& folder, bool remove_data, bool silent) {
  std::wstring line = QuoteArg(copy.native()) + L" --uninstall";
  if (silent) line += L" --silent";
  line += L" --self-delete";
  if (remove_data) line += L" --remove-data";
  return line + L" " + QuoteArg(folder.native());
}

bool HandOffToTemporaryCopy(const fs::path& own, const fs::path& folder, bool remove_data, bool silent) {
  std::error_code error;
  const fs::path temporary = fs::temp_directory_path(error);
  if (error || temporary.empty()) return false;
  const fs::path copy = temporary / TemporaryCopyName(::GetCurrentProcessId());
  if (!::CopyFileW(ApiPath(own).c_str(), ApiPath(copy).c_str(), FALSE)) return false;
  // Started in the temporary folder: a current folder inside the
  // installation would keep that folder from being removed.
  if (StartDetached(copy, TemporaryCopyCommandLine(copy, folder, remove_data, silent), temporary, 0, nullptr)) {
    return true;
  }
  RemoveItem(copy);
  return false;
}

std::wstring SelfDeleteCommandLine(std::wstring_view copy_name) {
  return L"cmd.exe /d /c ping -n 2 127.0.0.1 >nul & del /f /q " + std::wstring(copy_name);
}

void StartSelfDeletion(const fs::path& own) {
  const std::wstring name = own.filename().native();
  if (!IsTemporaryCopyName(name)) return;
  const fs::path system = SystemFolder();
  if (system.empty()) return;
  std::vector<wchar_t> environment = EnvironmentWith(kNoCurrentFolderSearch);
  StartDetached(system / L"cmd.exe", SelfDeleteCommandLine(name), own.parent_path(),
                CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data());
}

}  // namespace qv::setup
