#include "selftest/self-test-archives.h"

namespace qv::setup {

std::string SelfTestChunkArchive() { return "PSAR" + std::string(60, '\0'); }

std::string SelfTestTextureArchive() {
  std::string bytes(64, '\0');
  bytes[50] = 'a';
  bytes[51] = 'q';
  return bytes;
}

std::string SelfTestPathIdList() { return "/Assets/xq/level/qv14_hallway/" + std::string(40, 'x'); }

}  // namespace qv::setup
