#include "selftest/self-test-mode.h"

#include "selftest/self-test-driver.h"

namespace qv::setup {

int RunSelfTestMode(const std::filesystem::path& result) { return RunSelfTest(result, BuiltInSelfTest()); }

}  // namespace qv::setup
