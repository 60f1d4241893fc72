#include "support/stand-in-game.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "foundation/text/hex-text.h"
#include "foundation/win/unique-handle.h"
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

void WriteStandInControl(const std::filesystem::path& game_folder, const std::string& commands) {
  const std::filesystem::path control = game_folder / L"data" / L"qv-stand-in-control.txt";
  std::error_code error;
  if (commands.empty()) {
    std::filesystem::remove(control, error);
    return;
  }
  std::filesystem::create_directories(control.parent_path(), error);
  std::ofstream out(control, std::ios::binary | std::ios::trunc);
  out << commands;
  out.close();
  if (!out) ADD_FAILURE() << "cannot write the stand-in's control file";
}

void EndStandInGame(const StandInGameRun& run) {
  if (run.process_id == 0) return;
  qv::setup::UniqueHandle process(
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, run.process_id));
  if (!process) return;
  // The id may belong to another program by now: only a stand-in is ended.
  std::wstring image(32768, L'\0');
  DWORD length = static_cast<DWORD>(image.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) return;
  image.resize(length);
  if (std::filesystem::path(image).filename() != L"qv.exe") return;
  ::TerminateProcess(process.get(), 9);
  ::WaitForSingleObject(process.get(), 15000);
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
    } else if (line.rfind("pid ", 0) == 0) {
      current.process_id = static_cast<std::uint32_t>(std::stoul(line.substr(4)));
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
