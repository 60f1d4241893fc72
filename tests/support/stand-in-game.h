#pragma once
// The stand-in game (tests/helpers/qv.cpp): placing it in a game folder and
// reading back how it was started.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

struct StandInGameRun {
  std::vector<std::string> arguments;  // UTF-8, exactly as the game received them
  std::string folder;                  // its current folder, UTF-8
  std::string build;                   // SHA-256 of the started file
};

// The built stand-in beside the test program.
std::filesystem::path StandInGamePath();

// Copies the stand-in into the game folder as "qv.exe"; fails the test on error.
void PlaceStandInGame(const std::filesystem::path& game_folder);

// The complete records of every start so far, in order; none when the game
// never started.
std::vector<StandInGameRun> ReadStandInGameRuns(const std::filesystem::path& game_folder);

// Polls until at least `count` starts are recorded or `timeout` passes (a
// started game runs on its own); returns what was recorded by then.
std::vector<StandInGameRun> WaitForStandInGameRuns(const std::filesystem::path& game_folder, std::size_t count,
                                                   std::chrono::milliseconds timeout = std::chrono::seconds(15));

}  // namespace qv::test
