#pragma once

#include <filesystem>

namespace qv::setup {

// "--self-test <result>": runs the built-in self tests and writes their one
// PASS line into the result file; raises a std::exception whose text names
// the failure otherwise (the entry point writes it through the guard).
void RunSelfTestMode(const std::filesystem::path& result);

}  // namespace qv::setup
