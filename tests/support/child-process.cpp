#include "support/child-process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/text/command-line.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace qv::test {
namespace {

using qv::setup::UniqueFile;
using qv::setup::UniqueHandle;
using qv::setup::Utf8ToWide;

std::wstring VariableName(std::wstring_view entry) { return std::wstring(entry.substr(0, entry.find(L'=', 1))); }

// The current environment with the changes applied, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::string>& changes) {
  std::vector<std::wstring> changed_names;
  for (const std::string& change : changes) changed_names.push_back(VariableName(Utf8ToWide(change)));
  std::wstring block;
  wchar_t* current = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
    bool replaced = false;
    for (const std::wstring& name : changed_names) {
      replaced = replaced || ::CompareStringOrdinal(VariableName(entry).c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL;
    }
    if (!replaced) block.append(entry).push_back(L'\0');
  }
  ::FreeEnvironmentStringsW(current);
  for (const std::string& change : changes) {
    if (change.find('=') != std::string::npos) block.append(Utf8ToWide(change)).push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

std::vector<std::wstring> ChildArguments(const std::string& mode, const std::vector<std::string>& arguments) {
  std::vector<std::wstring> child_arguments{L"--child", Utf8ToWide(mode)};
  for (const std::string& argument : arguments) child_arguments.push_back(Utf8ToWide(argument));
  return child_arguments;
}

}  // namespace

StartedChild::~StartedChild() { Terminate(); }

std::uint32_t StartedChild::process_id() const { return process_ ? ::GetProcessId(process_.get()) : 0; }

bool StartedChild::WaitFor(std::chrono::milliseconds timeout) const {
  if (!process_) return true;
  return ::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

void StartedChild::Terminate() {
  if (!process_ || WaitFor(std::chrono::milliseconds(0))) return;
  ::TerminateProcess(process_.get(), 1);
  ::WaitForSingleObject(process_.get(), 30000);
}

ChildRun StartedChild::Result() const {
  ChildRun run;
  if (!process_) return run;
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process_.get(), &code);
  run.exit_code = code;
  run.output = ReadTestFile(folder_->path() / L"output.txt");
  return run;
}

StartedChild StartProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                          const std::vector<std::string>& environment) {
  StartedChild child;
  auto folder = std::make_unique<TempFolder>(L"qv-child");
  std::filesystem::path output_path = *folder / L"output.txt";
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueFile output(::CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) {
    ADD_FAILURE() << "cannot create the child's output file: " << ::GetLastError();
    return child;
  }

  std::vector<std::wstring> command_line{program.native()};
  command_line.insert(command_line.end(), arguments.begin(), arguments.end());
  std::wstring command = qv::setup::JoinCommandLine(command_line);
  std::wstring block = EnvironmentBlock(environment);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION info{};
  // A Wine session busy with the whole suite now and then refuses a start
  // with ERROR_INTERNAL_ERROR (1359) that a second try does not meet; no
  // program under test is involved yet, so the start is tried again.
  constexpr int kStartAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    if (::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                         CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr, &startup, &info)) {
      break;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
      ADD_FAILURE() << "cannot start " << program.string() << ": " << error;
      return child;
    }
    ::Sleep(200);
  }
  child.process_.reset(info.hProcess);
  UniqueHandle thread(info.hThread);
  child.folder_ = std::move(folder);
  return child;
}

ChildRun RunProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                    const std::vector<std::string>& environment, std::chrono::milliseconds timeout) {
  StartedChild child = StartProgram(program, arguments, environment);
  if (!child.started()) return ChildRun();
  if (!child.WaitFor(timeout)) {
    child.Terminate();
    ADD_FAILURE() << program.string() << " did not end within " << timeout.count() << " ms";
  }
  return child.Result();
}

StartedChild StartChildProcess(const std::string& mode, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment) {
  return StartProgram(qv::setup::OwnExecutablePath(), ChildArguments(mode, arguments), environment);
}

ChildRun RunChildProcess(const std::string& mode, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
  return RunProgram(qv::setup::OwnExecutablePath(), ChildArguments(mode, arguments), environment);
}

}  // namespace qv::test
