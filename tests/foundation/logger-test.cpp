#include "foundation/logger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child-mode.h"
#include "support/child-process.h"

namespace {

using namespace qv::setup;

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 300;

QV_CHILD_MODE(log_lines) {
  Log(LogLevel::kInfo, "first");
  Log(LogLevel::kWarn, "warn text");
  Log(LogLevel::kDebug, "debug text");
  Log(LogLevel::kError, "error text");
  Log(static_cast<LogLevel>(7), "odd level");
  Log(LogLevel::kInfo, "");
  Log(LogLevel::kInfo, std::string_view("ab\0cd", 5));
  LogWarn("update: the check failed ({})", std::string("no network"));
  LogWarn("update: the check failed");
  ::Sleep(150);
  Log(LogLevel::kInfo, "later");
  return 0;
}

QV_CHILD_MODE(log_threads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int n = 0; n < kLinesPerThread; ++n) {
        // Lines of different lengths, so a torn write would show.
        Log(LogLevel::kInfo, "thread " + std::to_string(t) + " line " + std::to_string(n) + " " +
                                 std::string(static_cast<size_t>((n * 37 + t * 11) % 200), static_cast<char>('a' + t)));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return 0;
}

// The lines of a child's standard error. The runtime writes it in text mode,
// so each line ends in CR LF there.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Splits "[%9.3f] rest" into the seconds and the rest; fails on any other shape.
bool SplitStamp(const std::string& line, double& seconds, std::string& rest) {
  static const std::regex shape(R"(\[( *)(\d+\.\d{3})\] (.*))");
  std::smatch match;
  if (!std::regex_match(line, match, shape)) return false;
  // Right-aligned in nine characters, wider only when the number needs it.
  size_t spaces = match[1].length(), digits = match[2].length();
  if (digits >= 9 ? spaces != 0 : spaces + digits != 9) return false;
  seconds = std::stod(match[2]);
  rest = match[3];
  return true;
}

TEST(Logger, LevelNames) {
  EXPECT_STREQ(LevelName(LogLevel::kDebug), "debug");
  EXPECT_STREQ(LevelName(LogLevel::kInfo), "info");
  EXPECT_STREQ(LevelName(LogLevel::kWarn), "warn");
  EXPECT_STREQ(LevelName(LogLevel::kError), "error");
  EXPECT_STREQ(LevelName(static_cast<LogLevel>(4)), "?");
  EXPECT_STREQ(LevelName(static_cast<LogLevel>(-1)), "?");
}

TEST(Logger, FormatReplacesFieldsInOrder) {
  EXPECT_EQ(FormatLogText("update: the check failed ({})", {"timeout"}), "update: the check failed (timeout)");
  EXPECT_EQ(FormatLogText("{} and {}", {"a", "b"}), "a and b");
  EXPECT_EQ(FormatLogText("{{}} {}", {"x"}), "{} x");
  EXPECT_EQ(FormatLogText("no fields", {"unused"}), "no fields");
  EXPECT_EQ(FormatLogText("{} {}", {"only"}), "only {}");
  EXPECT_EQ(FormatLogText("{", {}), "{");
}

TEST(Logger, ElapsedSecondsNeverGoBack) {
  double first = LogElapsedSeconds();
  ::Sleep(20);
  double second = LogElapsedSeconds();
  EXPECT_GE(first, 0.0);
  EXPECT_GE(second - first, 0.015);
}

TEST(Logger, LineFormatWithAndWithoutTicks) {
  struct Case {
    const char* environment;
    const char* prefix;
  } cases[] = {
      {"QV_LOG_TICKS", ""},  // not set
      {"QV_LOG_TICKS=0", ""},
      {"QV_LOG_TICKS=", ""},
      {"QV_LOG_TICKS=true", ""},
      {"QV_LOG_TICKS=1", "#0 "},
      {"QV_LOG_TICKS=1yes", "#0 "},
  };
  for (const Case& c : cases) {
    qv::test::ChildRun run = qv::test::RunChildProcess("log_lines", {}, {c.environment});
    ASSERT_EQ(run.exit_code, 0u) << c.environment;
    std::vector<std::string> lines = Lines(run.output);
    std::string p = c.prefix;
    std::vector<std::string> expected = {
        "info  " + p + "first",
        "warn  " + p + "warn text",
        "debug " + p + "debug text",
        "error " + p + "error text",
        "?     " + p + "odd level",
        "info  " + p,
        "info  " + p + "ab",
        "warn  " + p + "update: the check failed (no network)",
        "warn  " + p + "update: the check failed",
        "info  " + p + "later",
    };
    ASSERT_EQ(lines.size(), expected.size()) << c.environment << "\n" << run.output;
    EXPECT_EQ(lines.front().substr(0, 12), "[    0.000] ") << c.environment;
    for (size_t i = 0; i < lines.size(); ++i) {
      double seconds = 0;
      std::string rest;
      ASSERT_TRUE(SplitStamp(lines[i], seconds, rest)) << lines[i];
      EXPECT_EQ(rest, expected[i]) << c.environment;
      if (i + 1 < lines.size()) EXPECT_LT(seconds, 0.1) << lines[i];
      else EXPECT_GE(seconds, 0.14) << lines[i];
    }
  }
}

TEST(Logger, LinesOfThreadsNeverMix) {
  qv::test::ChildRun run = qv::test::RunChildProcess("log_threads", {});
  ASSERT_EQ(run.exit_code, 0u);
  std::vector<std::string> lines = Lines(run.output);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  std::vector<int> next_line(kThreads, 0);
  static const std::regex text(R"(info  thread (\d) line (\d+) ([a-h]*))");
  for (const std::string& line : lines) {
    double seconds = 0;
    std::string rest;
    ASSERT_TRUE(SplitStamp(line, seconds, rest)) << line;
    std::smatch match;
    ASSERT_TRUE(std::regex_match(rest, match, text)) << line;
    int t = std::stoi(match[1]);
    int n = std::stoi(match[2]);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(n, next_line[t]++) << line;  // each thread's lines whole and in order
    EXPECT_EQ(match[3].str(), std::string(static_cast<size_t>((n * 37 + t * 11) % 200), static_cast<char>('a' + t)));
  }
}

}  // namespace
