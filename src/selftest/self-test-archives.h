#pragma once
// The game files the self tests write wherever a test needs the game's
// archives: the smallest contents the game-source checks accept, fixed so
// that a test can recognise them byte for byte afterwards.

#include <string>

namespace qv::setup {

// "PSAR" followed by 60 zero bytes (64 bytes).
std::string SelfTestChunkArchive();

// 64 bytes, all zero except bytes 50 and 51, which hold "a" and "q" (the
// texture archive's mark at offset 22 of its last 36 bytes).
std::string SelfTestTextureArchive();

// "/Assets/xq/level/qv14_hallway/" followed by 40 "x" (70 bytes): a path-ID
// list that names one of the game's own levels.
std::string SelfTestPathIdList();

}  // namespace qv::setup
