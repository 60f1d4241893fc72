#include "routes/game-wait.h"

#include <windows.h>

#include "foundation/unique-handle.h"

namespace qv::setup {

bool GameStillRunningAfter(std::uint64_t game_process_id, std::chrono::milliseconds wait) {
  if (game_process_id == 0) return false;
  UniqueHandle game(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(game_process_id)));
  if (!game) return false;
  return ::WaitForSingleObject(game.get(), static_cast<DWORD>(wait.count())) == WAIT_TIMEOUT;
}

}  // namespace qv::setup
