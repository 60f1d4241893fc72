#pragma once
// The process-wide hooks through which long operations report to whatever
// front end runs them (setup window, updater window, test modes), and the
// progress counters of the current run. Each role assigns the hooks once,
// before its worker starts; the worker only reads them.

#include <cstdint>
#include <functional>
#include <string>

namespace qv::setup {

// One status line (UTF-8). Empty: lines are dropped.
extern std::function<void(const std::string& line)> LogLineHook;
// True once the user asked to cancel. Empty: never cancelled.
extern std::function<bool()> CancelHook;
// Bytes done and bytes total of the current run. Empty: nobody is told.
extern std::function<void(std::uint64_t done, std::uint64_t total)> ProgressHook;

struct ProgressCountersRecord {
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};
// Touched only by the one thread that runs the current operation.
extern ProgressCountersRecord ProgressCounters;

inline constexpr const char* kCancelledMessage = "Installation cancelled.";

// Sends a status line through LogLineHook when it is set.
void SendLogLine(const std::string& line);

// True when CancelHook is set and answers true. The hook is asked by one
// thread at a time, whichever threads ask.
bool IsCancelRequested();

// The cancel check of every long operation: raises std::runtime_error
// "Installation cancelled." once the user has cancelled.
void ThrowIfCancelled();

// Start of a run: done = 0, total = planned; tells ProgressHook (0, total).
void ResetProgress(std::uint64_t planned_total);

// Raises done to the candidate, never lowering it and never past total; tells
// ProgressHook only when done really changed.
void RaiseProgressTo(std::uint64_t candidate);

// RaiseProgressTo(done + bytes); a sum that wraps around changes nothing.
void AddProgress(std::uint64_t bytes);

// End of a successful run: done = total (same notify-on-change rule).
void CompleteProgress();

}  // namespace qv::setup
