#pragma once

#include <filesystem>

namespace qv::setup {

// "--verify-integrity <result>": guards the result file, checks the running
// setup file and writes the line "PASS integrity verified"; returns exit
// code 0.
// Raises the guard's refusal or the check's sentence.
int RunVerifyIntegrityMode(const std::filesystem::path& result);

}  // namespace qv::setup
