#include "update/game-wait.h"

#include <windows.h>

#include "foundation/unique-handle.h"

namespace qv::setup {

bool GameStillRunningAfter(std::uint64_t game_process_id, std::chrono::milliseconds wait) {
  // Process ids are 32 bits wide: a larger number cut down to one would wait
  // for whatever process happens to own the lower half.
  if (game_process_id == 0 || game_process_id > 0xFFFFFFFFu) return false;
  UniqueHandle game(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(game_process_id)));
  if (!game) return false;
  return ::WaitForSingleObject(game.get(), static_cast<DWORD>(wait.count())) == WAIT_TIMEOUT;
}

}  // namespace qv::setup
