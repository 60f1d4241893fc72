#pragma once

#include <filesystem>

namespace qv::setup {

// "--self-test <result>": runs the built-in self test (RunSelfTest with the
// program's own scenario table) and returns the process exit code. It writes
// the result itself, the pass line or the failure through the result-file
// guard, and never raises.
int RunSelfTestMode(const std::filesystem::path& result);

}  // namespace qv::setup
