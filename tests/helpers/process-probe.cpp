// A child program for the process-runner tests. First argument is the mode:
//   report ARGS...  prints what the child sees: its arguments (hexadecimal
//                   UTF-8, one line each), own path, current folder, console
//                   window, priority class and standard input
//   streams         writes one line to standard output, one to standard error
//   sleep MS        sleeps, then exits with 0
//   exit CODE       exits with CODE
//   read-handle N   reads from the start of the handle whose value is N
//                   (decimal) and prints "read=" and the bytes, or
//                   "read=error": whether the child inherited that handle

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"

namespace {

void Write(DWORD stream, const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Report(int argc, wchar_t** argv) {
  std::string report;
  for (int i = 2; i < argc; ++i) {
    std::string utf8 = qv::setup::WideToUtf8(argv[i]);
    report += "arg=" + qv::setup::HexEncode(utf8.data(), utf8.size()) + "\n";
  }
  report += "exe=" + qv::setup::WideToUtf8(qv::setup::OwnExecutablePath().native()) + "\n";
  wchar_t folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, folder);
  report += "cwd=" + qv::setup::WideToUtf8(folder) + "\n";
  report += std::string("console-window=") + (::GetConsoleWindow() ? "yes" : "no") + "\n";
  report += "priority=" + std::to_string(::GetPriorityClass(::GetCurrentProcess())) + "\n";
  char buffer[16];
  DWORD read = 0;
  const BOOL ok = ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr);
  report += "stdin=" + (ok ? std::to_string(read) : std::string("error")) + "\n";
  Write(STD_OUTPUT_HANDLE, report);
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv || argc < 2) return 99;
  const std::wstring mode = argv.get()[1];
  const std::wstring value = argc > 2 ? argv.get()[2] : L"0";
  if (mode == L"report") {
    Report(argc, argv.get());
  } else if (mode == L"streams") {
    Write(STD_OUTPUT_HANDLE, "to standard output\n");
    Write(STD_ERROR_HANDLE, "to standard error\n");
  } else if (mode == L"sleep") {
    ::Sleep(static_cast<DWORD>(std::stoul(value)));
  } else if (mode == L"exit") {
    return static_cast<int>(std::stoul(value));
  } else if (mode == L"read-handle") {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(value)));
    char buffer[64];
    DWORD read = 0;
    const bool ok = ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                    ::ReadFile(handle, buffer, sizeof buffer, &read, nullptr);
    Write(STD_OUTPUT_HANDLE, "read=" + (ok ? std::string(buffer, read) : std::string("error")) + "\n");
  } else {
    return 98;
  }
  return 0;
}
