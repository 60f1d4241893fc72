#include "route-fixtures.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "support/child-mode.h"

namespace qv::test {

RouteGameFolder::RouteGameFolder() : game_(temp_ / L"game") {
  std::filesystem::create_directories(game_ / L"data");
}

// "running_game <file>": runs until the file exists, at most 60 s.
QV_CHILD_MODE(running_game) {
  if (args.size() != 1) return 2;
  for (int waited = 0; waited < 60000; waited += 20) {
    if (std::filesystem::exists(args[0])) return 0;
    ::Sleep(20);
  }
  return 1;
}

RunningGame::RunningGame() : child_(StartChildProcess("running_game", {(folder_ / L"closed").string()})) {}

void RunningGame::Close() {
  WriteTestFile(folder_ / L"closed", "");
  EXPECT_TRUE(child_.WaitFor(std::chrono::seconds(10)));
}

CommandLine::CommandLine(std::vector<std::wstring> arguments) : arguments_(std::move(arguments)) {
  arguments_.insert(arguments_.begin(), L"Q.V.PC.Rure.Setup.exe");
  for (const std::wstring& argument : arguments_) pointers_.push_back(argument.c_str());
}

}  // namespace qv::test
