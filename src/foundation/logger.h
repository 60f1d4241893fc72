#pragma once
// One-line diagnostics on standard error, stamped with the seconds since the
// logger was first used and a level name:
//   "[%9.3f] %-5s %s%.*s\n"  (seconds, level, tick prefix, text)
// The tick prefix "#<count> " appears when QV_LOG_TICKS begins with '1'.
// Separate from the user-visible logs, which are files and hooks.

#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv::setup {

enum class LogLevel { kDebug = 0, kInfo = 1, kWarn = 2, kError = 3 };

// "debug", "info", "warn", "error"; "?" for any other value.
const char* LevelName(LogLevel level);

// Seconds since the first call (which therefore returns 0), from the monotonic clock.
double LogElapsedSeconds();

// Writes one line under the logger's lock, so lines of different threads never
// mix. The text is printed up to its first zero byte.
void Log(LogLevel level, std::string_view text);

// Replaces each "{}" of the format by the next argument; "{{" and "}}" stand
// for single braces. A field without an argument stays as written.
std::string FormatLogText(std::string_view format, std::initializer_list<std::string_view> arguments);

template <typename... Args>
void LogWarn(std::string_view format, const Args&... arguments) {
  static_assert((std::is_convertible_v<const Args&, std::string_view> && ...), "log arguments are texts");
  Log(LogLevel::kWarn, FormatLogText(format, {std::string_view(arguments)...}));
}

}  // namespace qv::setup
