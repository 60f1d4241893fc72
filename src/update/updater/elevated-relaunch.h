#pragma once
// Handing the update to a second copy of the program that runs with
// administrator rights, when the game folder cannot be written otherwise.

#include <filesystem>
#include <string>

#include "update/updater/updater-args.h"

namespace qv::setup {

// Windows' answer when the user declines the consent prompt.
inline constexpr int kConsentDeclined = 1223;  // ERROR_CANCELLED

// The elevated copy's parameters: "--game-update" <folder> " --lang " <n>
// " --elevated --", then each of the game's arguments after a blank, every
// text quoted so that the copy reads it back exactly. The game's process id
// is not handed on: the game has closed before the hand-over, and the copy
// does not wait for it again.
std::wstring RelaunchParameters(const win_updater::Args& args);

// Starts `program` (the running program when empty) with RelaunchParameters
// through the shell's "runas", in the game folder, without waiting for it.
// False when it could not be started, with the Windows error in `error`
// (kConsentDeclined when the user said no).
bool RelaunchElevated(const win_updater::Args& args, int* error = nullptr, std::filesystem::path program = {});

}  // namespace qv::setup
