#pragma once
// The stand-in game (tests/helpers/qv.cpp): placing it in a game folder and
// reading back how it was started.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

struct StandInGameRun {
  std::vector<std::string> arguments;  // UTF-8, exactly as the game received them
  std::string folder;                  // its current folder, UTF-8
  std::string build;                   // SHA-256 of the started file
  std::uint32_t process_id = 0;
};

// The built stand-in beside the test program.
std::filesystem::path StandInGamePath();

// Copies the stand-in into the game folder as "qv.exe"; fails the test on error.
void PlaceStandInGame(const std::filesystem::path& game_folder);

// What the stand-in in this game folder does after recording its start: lines
// of "confirm" (sets the update journal to "started"), "sleep <ms>" and
// "exit <code>" (see tests/helpers/qv.cpp). Replaces an earlier control file;
// an empty text removes it.
void WriteStandInControl(const std::filesystem::path& game_folder, const std::string& commands);

// Ends a recorded start that still runs and waits until it has ended, so that
// its folder can go.
void EndStandInGame(const StandInGameRun& run);

// The complete records of every start so far, in order; none when the game
// never started.
std::vector<StandInGameRun> ReadStandInGameRuns(const std::filesystem::path& game_folder);

// Polls until at least `count` starts are recorded or `timeout` passes (a
// started game runs on its own); returns what was recorded by then.
std::vector<StandInGameRun> WaitForStandInGameRuns(const std::filesystem::path& game_folder, std::size_t count,
                                                   std::chrono::milliseconds timeout = std::chrono::seconds(15));

}  // namespace qv::test
