#include "support/stand-in-game.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "foundation/hex-text.h"
#include "support/test-paths.h"

namespace qv::test {
namespace {

std::filesystem::path RunsFile(const std::filesystem::path& game_folder) {
  return game_folder / L"data" / L"qv-stand-in-runs.txt";
}

std::string DecodedArgument(const std::string& hex) {
  std::optional<std::string> bytes = qv::setup::HexDecode(hex, hex.size() / 2);
  return bytes ? *bytes : "(undecodable " + hex + ")";
}

}  // namespace

std::filesystem::path StandInGamePath() { return TestBinaryFolder() / L"qv.exe"; }

void PlaceStandInGame(const std::filesystem::path& game_folder) {
  std::error_code error;
  std::filesystem::create_directories(game_folder, error);
  if (!::CopyFileW(StandInGamePath().c_str(), (game_folder / L"qv.exe").c_str(), FALSE)) {
    ADD_FAILURE() << "cannot place the stand-in game: " << ::GetLastError();
  }
}

std::vector<StandInGameRun> ReadStandInGameRuns(const std::filesystem::path& game_folder) {
  std::ifstream in(RunsFile(game_folder), std::ios::binary);
  std::vector<StandInGameRun> runs;
  StandInGameRun current;
  bool open = false;
  std::string line;
  while (std::getline(in, line)) {
    if (line == "run") {
      current = StandInGameRun();
      open = true;
    } else if (line == "end") {
      if (open) runs.push_back(current);
      open = false;
    } else if (line.rfind("arg ", 0) == 0) {
      current.arguments.push_back(DecodedArgument(line.substr(4)));
    } else if (line.rfind("folder ", 0) == 0) {
      current.folder = line.substr(7);
    } else if (line.rfind("build ", 0) == 0) {
      current.build = line.substr(6);
    }
  }
  return runs;
}

std::vector<StandInGameRun> WaitForStandInGameRuns(const std::filesystem::path& game_folder, std::size_t count,
                                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::vector<StandInGameRun> runs = ReadStandInGameRuns(game_folder);
    if (runs.size() >= count || std::chrono::steady_clock::now() >= deadline) return runs;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace qv::test
