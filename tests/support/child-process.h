#pragma once
// Runs this test program again in a child mode (see child-mode.h) as a real
// process, with its own environment and its output captured.

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

struct ChildRun {
  std::uint32_t exit_code = 0xFFFFFFFF;
  std::string output;  // standard output and standard error, as written
};

// Starts "<this program> --child <mode> <arguments...>" (arguments are quoted
// as they are, so they hold no double quotes) with standard output
// and standard error in one file and waits up to 30 s for it. `environment`
// changes the child's environment: "NAME=value" sets a variable, "NAME"
// alone removes it. Fails the current test when the child cannot start or
// does not end in time.
ChildRun RunChildProcess(const std::string& mode, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});

}  // namespace qv::test
