#pragma once
// Runs an outside tool (package extraction helper, route tools, tar) without a
// console window, with its output captured in a log file, a time limit and a
// cancel flag. Blocks the calling (worker) thread until the child has ended.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

struct RunProcessResult {
  bool started = false;    // the child process was created
  bool timed_out = false;  // stopped by the runner: the time limit passed
  bool cancelled = false;  // stopped by the runner: the cancel flag was set
  // The child's exit code; 1 after the runner terminated it; 0xFFFFFFFF
  // (-1 as signed) when nothing was started.
  std::uint32_t exit_code = 0xFFFFFFFF;
};

inline constexpr std::uint32_t kNotStartedExitCode = 0xFFFFFFFF;

// A new log file for a child's output: write-only, readable by others while it
// is written, its handle inheritable. `disposition` is CreateFileW's
// (CREATE_ALWAYS replaces an older log, CREATE_NEW refuses one). Invalid when
// it cannot be created.
UniqueFile CreateChildLog(const std::filesystem::path& log_file, DWORD disposition);

// Starts `executable` with the whole `command_line` (its first element
// included), standard input from "NUL" and standard output and error into
// `log` (an inheritable handle, see CreateChildLog), with `creation_flags`.
// The child inherits these standard handles and no other handle of the
// caller. The working folder is used when it is 1 to 257 characters
// long; otherwise the child starts in the caller's current folder. With a
// `job`, the child is in it before it runs its first instruction, so that
// everything it starts (a console host, a child of its own) is in it too
// (when the system refuses the job, the child runs without it). Returns the
// process handle, invalid when nothing was started.
UniqueHandle StartLoggedChild(const std::filesystem::path& executable, std::wstring command_line,
                              const std::filesystem::path& working_folder, HANDLE log, DWORD creation_flags,
                              HANDLE job = nullptr);

// Starts the executable with the arguments (UTF-8, each quoted by QuoteArg;
// invalid UTF-8 raises std::system_error before anything is created), standard
// input from "NUL", standard output and standard error both into the log file
// (created anew, readable by others while it is written; a log that another
// process still holds open is waited for, up to about 5 s), below-normal
// priority and no window. The working folder is used when it is 1 to 257
// characters long; otherwise the child starts in the caller's current folder.
// Waits in 100 ms steps; when the cancel flag is set or the time limit has
// passed, terminates the child with exit code 1 and waits for it to end.
RunProcessResult RunProcess(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                            const std::filesystem::path& working_folder, const std::filesystem::path& log_file,
                            const std::atomic<bool>& cancel, std::int64_t time_limit_ms);

}  // namespace qv::setup
