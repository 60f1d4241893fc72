#include "foundation/logger.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qv::setup {
namespace {

std::mutex log_mutex;

// Read once before the program's entry function runs and never written again,
// so reading it without the lock is safe.
const bool tick_switch = [] {
  const char* value = std::getenv("QV_LOG_TICKS");
  return value != nullptr && value[0] == '1';
}();

// Shown in the tick prefix; nothing advances it yet.
std::uint64_t tick_count = 0;

}  // namespace

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug: return "debug";
    case LogLevel::kInfo: return "info";
    case LogLevel::kWarn: return "warn";
    case LogLevel::kError: return "error";
  }
  return "?";
}

double LogElapsedSeconds() {
  auto now = std::chrono::steady_clock::now();
  // The first caller's reading becomes the start; static initialisation is
  // thread-safe, so threads arriving together agree on one start.
  static const auto start = now;
  return std::chrono::duration<double>(now - start).count();
}

void Log(LogLevel level, std::string_view text) {
  double seconds = LogElapsedSeconds();
  int length = text.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
  std::lock_guard<std::mutex> lock(log_mutex);
  char prefix[32] = "";
  if (tick_switch) std::snprintf(prefix, sizeof prefix, "#%llu ", static_cast<unsigned long long>(tick_count));
  std::fprintf(stderr, "[%9.3f] %-5s %s%.*s\n", seconds, LevelName(level), prefix, length, text.data());
}

std::string FormatLogText(std::string_view format, std::initializer_list<std::string_view> arguments) {
  std::string text;
  auto next = arguments.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    bool doubled = i + 1 < format.size() && format[i + 1] == c;
    if ((c == '{' || c == '}') && doubled) {
      text += c;
      ++i;
    } else if (c == '{' && i + 1 < format.size() && format[i + 1] == '}' && next != arguments.end()) {
      text += *next++;
      ++i;
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace qv::setup
