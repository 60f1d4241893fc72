#pragma once
// The updater and the routes change files that the running game holds open,
// so they wait for the game to close first, once, up to a minute.

#include <chrono>
#include <cstdint>
#include <functional>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

inline constexpr std::chrono::milliseconds kGameCloseWait{60000};

// What the result files say when the game did not close in time.
inline constexpr const char* kGameStillRunningDetail = "Q.V. was still running after 60 s";

// How often a wait for the game asks whether the player has cancelled.
inline constexpr std::chrono::milliseconds kGameWaitCancelPoll{100};

enum class GameWaitEnd {
  kClosed,        // the game has ended, or there is nothing to wait for
  kStillRunning,  // the time ran out with the game still running
  kCancelled,     // the player cancelled while the game still ran
};

// The game's process, opened for waiting; nothing for an id of 0, an id
// beyond 32 bits (cut down, it would name whatever process owns the lower
// half) and a process that cannot be opened (it has ended).
UniqueHandle OpenGameProcess(std::uint64_t game_process_id);

// Waits up to `wait` for the process to end, asking `cancelled` (when given)
// every kGameWaitCancelPoll. Only a process id that is not 0 and fits in 32
// bits (a larger one names no process) and that can be opened for waiting is
// waited for: a process that is gone (it cannot be opened) and a wait that
// fails count as closed, since nothing would come of waiting longer. A game
// that has ended counts as closed even when a Cancel came at the same time.
GameWaitEnd WaitForGameToClose(std::uint64_t game_process_id, std::chrono::milliseconds wait,
                               const std::function<bool()>& cancelled = {});

// True when WaitForGameToClose, without a Cancel, ends with the game still running.
bool GameStillRunningAfter(std::uint64_t game_process_id, std::chrono::milliseconds wait);

}  // namespace qv::setup
