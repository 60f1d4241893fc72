#include "foundation/text/command-line.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace {

using qv::setup::JoinCommandLine;
using qv::setup::QuoteArg;

// The arguments the platform's splitter reads from "prog " + the joined line.
std::vector<std::wstring> SplitBack(const std::wstring& joined) {
  std::wstring line = L"prog " + joined;
  int count = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(line.c_str(), &count));
  EXPECT_TRUE(argv.valid());
  if (!argv) return {};
  return std::vector<std::wstring>(argv.get() + 1, argv.get() + count);
}

std::string Printable(const std::vector<std::wstring>& args) {
  std::string text;
  for (const auto& arg : args) {
    text += '[';
    text += qv::setup::WideToUtf8(arg);
    text += ']';
  }
  return text;
}

TEST(CommandLine, QuoteArg) {
  const struct {
    std::wstring arg;
    std::wstring quoted;
  } cases[] = {
      {L"abc", L"abc"},
      {L"C:\\dir\\", L"C:\\dir\\"},
      {L"", L"\"\""},
      {L"a b", L"\"a b\""},
      {L"C:\\Program Files\\Game\\", L"\"C:\\Program Files\\Game\\\\\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},  // two backslashes before a quote become five
      {L"\t", L"\"\t\""},
      {L"a\nb", L"\"a\nb\""},
      {L"a\vb", L"\"a\vb\""},
      {L"a\\b c", L"\"a\\b c\""},      // backslashes before other characters stay as they are
      {L"x\\\\", L"x\\\\"},            // no blank: unchanged, trailing backslashes too
      {L"x \\\\", L"\"x \\\\\\\\\""},  // quoted: trailing backslashes doubled
      {L"\"", L"\"\\\"\""},
      {L"caf\u00e9", L"caf\u00e9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuoteArg(c.arg), c.quoted) << qv::setup::WideToUtf8(c.arg);
  }
}

TEST(CommandLine, JoinCommandLine) {
  EXPECT_EQ(JoinCommandLine({L"--x", L"a b", L""}), L"--x \"a b\" \"\"");
  EXPECT_EQ(JoinCommandLine({}), L"");
  EXPECT_EQ(JoinCommandLine({L""}), L"\"\"");
  EXPECT_EQ(JoinCommandLine({L"a", L"b"}), L"a b");
}

TEST(CommandLine, SplitterReadsBackEveryTableEntry) {
  const std::vector<std::vector<std::wstring>> table = {
      {},
      {L""},
      {L"", L"", L""},
      {L"a", L"", L"b"},
      {L"plain", L"with blank", L"\ttab\t", L"  "},
      {L"C:\\Program Files\\Game\\", L"C:\\dir\\", L"\\\\server\\share\\"},
      {L"\"", L"\"\"", L"a\"b\"c", L"\"quoted\""},
      {L"\\", L"\\\\", L"\\\"", L"a\\\\\"b", L"\\\\\\\"\\"},
      {L"end in blank ", L" start with blank", L"trailing\\ \\"},
      {L"line\nfeed", L"vertical\vtab", L"\n", L"\v"},
      {L"caf\u00e9 \u30b2\u30fc\u30e0", L"\U0001F4BE"},
      {L"--game-update", L"D:\\Games\\Q V\\", L"--pid", L"1234", L"--", L"-windowed", L"x=\"1 2\""},
  };
  for (const auto& args : table) {
    EXPECT_EQ(SplitBack(JoinCommandLine(args)), args) << Printable(args);
  }
}

// Random arguments built from the characters the quoting rules care about.
TEST(CommandLine, SplitterReadsBackRandomArguments) {
  const std::wstring alphabet = L"a \t\\\"\u00e9x";
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::wstring> args(1 + random() % 4);
    for (auto& arg : args) {
      const std::size_t length = random() % 9;
      for (std::size_t i = 0; i < length; ++i) arg.push_back(alphabet[random() % alphabet.size()]);
    }
    ASSERT_EQ(SplitBack(JoinCommandLine(args)), args) << Printable(args);
  }
}

}  // namespace
