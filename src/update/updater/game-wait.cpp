#include "update/updater/game-wait.h"

#include <windows.h>

#include <algorithm>

namespace qv::setup {

UniqueHandle OpenGameProcess(std::uint64_t game_process_id) {
  // Process ids are 32 bits wide: a larger number cut down to one would wait
  // for whatever process happens to own the lower half.
  if (game_process_id == 0 || game_process_id > 0xFFFFFFFFu) return {};
  return UniqueHandle(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(game_process_id)));
}

GameWaitEnd WaitForGameToClose(std::uint64_t game_process_id, std::chrono::milliseconds wait,
                               const std::function<bool()>& cancelled) {
  UniqueHandle game = OpenGameProcess(game_process_id);
  if (!game) return GameWaitEnd::kClosed;
  // One wait of the whole time would leave a Cancel unanswered for a minute:
  // the wait goes in short slices, with the question between them.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const auto slice = cancelled ? std::min(left, kGameWaitCancelPoll) : left;
    switch (::WaitForSingleObject(game.get(), static_cast<DWORD>(std::max<std::int64_t>(slice.count(), 0)))) {
      case WAIT_TIMEOUT:
        break;
      default:
        return GameWaitEnd::kClosed;  // ended, or the wait failed
    }
    if (cancelled && cancelled()) return GameWaitEnd::kCancelled;
    if (std::chrono::steady_clock::now() >= deadline) return GameWaitEnd::kStillRunning;
  }
}

bool GameStillRunningAfter(std::uint64_t game_process_id, std::chrono::milliseconds wait) {
  return WaitForGameToClose(game_process_id, wait) == GameWaitEnd::kStillRunning;
}

}  // namespace qv::setup
