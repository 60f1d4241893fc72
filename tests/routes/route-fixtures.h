#pragma once
// Shared material of the route tests: a game folder with its "data" folder,
// the updater log read back, and command lines as argument vectors.

#include <filesystem>
#include <string>
#include <vector>

#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/updater-log-lines.h"

namespace qv::test {

// A fresh game folder "<temp>\game" with a real "data" folder.
class RouteGameFolder {
 public:
  RouteGameFolder();
  const std::filesystem::path& path() const { return game_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return game_ / relative; }

 private:
  TempFolder temp_{L"qv-route"};
  std::filesystem::path game_;
};

// A stand-in for the running game: a child process of this test program that
// runs until Close() (or 60 s), so a test decides when "the game" closes.
class RunningGame {
 public:
  RunningGame();
  std::uint32_t process_id() const { return child_.process_id(); }
  // Lets the child end and waits for it.
  void Close();

 private:
  TempFolder folder_{L"qv-game-run"};
  StartedChild child_;
};

// argv as the shell's splitter hands it over: argv[0] is the program.
class CommandLine {
 public:
  explicit CommandLine(std::vector<std::wstring> arguments);
  int argc() const { return static_cast<int>(pointers_.size()); }
  const wchar_t* const* argv() const { return pointers_.data(); }

 private:
  std::vector<std::wstring> arguments_;
  std::vector<const wchar_t*> pointers_;
};

}  // namespace qv::test
