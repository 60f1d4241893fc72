#pragma once
// The process-wide hooks of every role except the updater (which assigns its
// own): status lines and progress go to the setup window when one exists, and
// cancellation is the setup window's cancel flag. All work without a window.

#include <string>

namespace qv::setup {

// Posts one status line to the setup window, which takes over the heap copy;
// nothing happens without a window (or when the post fails: the copy is freed).
void PostStatusText(const std::wstring& line);

// The LogLineHook target: the UTF-8 line converted and posted.
void ForwardLogLine(const std::string& line);

// The CancelHook target: SetupCancelFlag.
bool IsSetupCancelled();

// LogLineHook = ForwardLogLine, CancelHook = IsSetupCancelled,
// ProgressHook = ReportProgress. Called once at start, before any role runs.
void AssignSetupHooks();

}  // namespace qv::setup
