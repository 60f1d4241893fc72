#pragma once
// What the updater role was started with ("--game-update" and its options).

#include <cstdint>
#include <string>
#include <vector>

namespace qv::setup::win_updater {

struct Args {
  std::wstring game_folder;              // absolute, lexically normal, no trailing separator
  std::uint64_t game_process_id = 0;     // 0: none
  int language = 0;                      // index of the updater text table, 0 to 13
  bool elevated = false;                 // this process is the elevated relaunch
  std::vector<std::wstring> pass_through;  // the arguments to start the game with (after "--")
};

}  // namespace qv::setup::win_updater
