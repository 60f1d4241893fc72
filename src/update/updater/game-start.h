#pragma once
// Starting the installed game again after the updater or a route has finished,
// with the arguments the role was given after "--".

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

struct GameStart {
  bool started = false;
  UniqueHandle process;  // none when the start failed or went through the desktop shell
};

// Starts "qv.exe" in `game_folder` with `arguments` (each quoted so that the
// game reads them back exactly). A caller that runs elevated starts it through
// the desktop shell, so that the game runs with the desktop's own token and
// not with administrator rights; that start gives no process handle and is
// refused at once when "qv.exe" is not a file. Otherwise
// the game is created directly, in its folder as the working folder when that
// folder's text is shorter than 258 characters (else in the caller's). Never
// raises for a start that fails.
GameStart StartGame(const std::filesystem::path& game_folder, const std::vector<std::wstring>& arguments,
                    bool elevated);

}  // namespace qv::setup
