#pragma once
// The routes change files that the running game holds open, so they wait for
// the game to close first, once, up to a minute.

#include <chrono>
#include <cstdint>

namespace qv::setup {

inline constexpr std::chrono::milliseconds kGameCloseWait{60000};

// What the result files say when the game did not close in time.
inline constexpr const char* kGameStillRunningDetail = "Q.V. was still running after 60 s";

// Waits up to `wait` for the process to end. True only when the process id is
// not 0 and fits in 32 bits (a larger one names no process), the process can be opened for waiting and the wait runs out: a
// process that is gone (it cannot be opened) and a wait that fails count as
// closed, since nothing would come of waiting longer.
bool GameStillRunningAfter(std::uint64_t game_process_id, std::chrono::milliseconds wait);

}  // namespace qv::setup
