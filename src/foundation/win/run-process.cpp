#include "foundation/win/run-process.h"

#include <windows.h>

#include <chrono>
#include <limits>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/text/command-line.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

constexpr DWORD kPollMilliseconds = 100;
// The longest working folder handed to the child (a current folder must
// leave room for its closing separator within MAX_PATH).
constexpr std::size_t kMaxWorkingFolderLength = 257;

// now + limit on the steady clock in nanoseconds, saturated: a huge limit
// means "no limit" instead of wrapping into the past.
std::int64_t DeadlineNanoseconds(std::int64_t time_limit_ms) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  std::int64_t limit = 0;
  if (__builtin_mul_overflow(time_limit_ms, std::int64_t{1'000'000}, &limit)) limit = time_limit_ms < 0 ? kMin : kMax;
  std::int64_t deadline = 0;
  if (__builtin_add_overflow(now, limit, &deadline)) deadline = limit < 0 ? kMin : kMax;
  return deadline;
}

SECURITY_ATTRIBUTES InheritableHandles() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

// A log of an earlier run can stay open for a moment after that run has
// ended (a scanner reading the new file; under Wine the child's console host),
// and tools with fixed log names run again right away: creating the log is
// retried while the system reports it shared or locked, up to about 5 s.
constexpr int kLogCreateAttempts = 50;
constexpr DWORD kLogCreateRetryMilliseconds = 100;

UniqueFile CreateLogWhenFree(const std::filesystem::path& log_file) {
  for (int attempt = 1;; ++attempt) {
    UniqueFile log = CreateChildLog(log_file, CREATE_ALWAYS);
    if (log) return log;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt >= kLogCreateAttempts) {
      return log;
    }
    ::Sleep(kLogCreateRetryMilliseconds);
  }
}

bool IsPast(std::int64_t deadline_ns) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() > deadline_ns;
}

}  // namespace

UniqueFile CreateChildLog(const std::filesystem::path& log_file, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable = InheritableHandles();
  return UniqueFile(::CreateFileW(ApiPath(log_file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

UniqueHandle StartLoggedChild(const std::filesystem::path& executable, std::wstring command_line,
                              const std::filesystem::path& working_folder, HANDLE log, DWORD creation_flags,
                              HANDLE job) {
  // Without the null device the child simply gets no usable standard input.
  SECURITY_ATTRIBUTES inheritable = InheritableHandles();
  UniqueFile null_input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                      OPEN_EXISTING, 0, nullptr));

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = null_input.get();
  startup.StartupInfo.hStdOutput = log;
  startup.StartupInfo.hStdError = log;

  // The child inherits its standard handles and nothing else: whatever else
  // this process holds inheritable (another worker's log, an elevated
  // updater's files) stays out of the outside tool.
  HANDLE inherited[2] = {log, null_input.get()};
  const DWORD inherited_count = null_input ? 2 : 1;
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<unsigned char> list_memory(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &list_size)) return UniqueHandle();
  UniqueAttributeList attributes(list);
  if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   inherited_count * sizeof(HANDLE), nullptr, nullptr)) {
    return UniqueHandle();
  }
  startup.lpAttributeList = list;

  const std::wstring& folder = working_folder.native();
  const bool use_folder = !folder.empty() && folder.size() <= kMaxWorkingFolderLength;
  const std::wstring application = ToLongPath(executable.native());
  PROCESS_INFORMATION info{};
  if (job != nullptr) creation_flags |= CREATE_SUSPENDED;
  if (!::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                        creation_flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, use_folder ? folder.c_str() : nullptr,
                        &startup.StartupInfo, &info)) {
    return UniqueHandle();
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);  // only the process is waited for
  if (job != nullptr) {
    ::AssignProcessToJobObject(job, process.get());
    ::ResumeThread(thread.get());
  }
  return process;
}

RunProcessResult RunProcess(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                            const std::filesystem::path& working_folder, const std::filesystem::path& log_file,
                            const std::atomic<bool>& cancel, std::int64_t time_limit_ms) {
  RunProcessResult result;

  std::wstring command_line = QuoteArg(executable.native());
  for (const std::string& argument : arguments) {
    command_line.push_back(L' ');
    command_line += QuoteArg(PathFromUtf8(argument).native());
  }

  // The child inherits the log; the parent's copy closes right after creation,
  // so the log file stays open only as long as the child runs.
  UniqueFile log = CreateLogWhenFree(log_file);
  if (!log) return result;
  UniqueHandle process = StartLoggedChild(executable, std::move(command_line), working_folder, log.get(),
                                          CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS);
  log.reset();
  if (!process) return result;
  result.started = true;

  const std::int64_t deadline = DeadlineNanoseconds(time_limit_ms);
  for (;;) {
    if (::WaitForSingleObject(process.get(), kPollMilliseconds) != WAIT_TIMEOUT) break;
    const bool cancelled = cancel.load();
    if (cancelled || IsPast(deadline)) {
      result.cancelled = cancelled;
      result.timed_out = !cancelled;
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), INFINITE);
      break;
    }
  }

  DWORD exit_code = 1;
  if (!::GetExitCodeProcess(process.get(), &exit_code)) exit_code = 1;
  result.exit_code = exit_code;
  return result;
}

}  // namespace qv::setup
