#pragma once
// Runs this test program again in a child mode (see child-mode.h) as a real
// process, with its own environment and its output captured.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"

namespace qv::test {

struct ChildRun {
  std::uint32_t exit_code = 0xFFFFFFFF;
  std::string output;  // standard output and standard error, as written
};

// A child started without waiting for it. A child still running when its
// owner goes out of scope is terminated then (it is this test's own process),
// so a failing test never leaves one behind.
class StartedChild {
 public:
  StartedChild() = default;
  StartedChild(StartedChild&&) = default;
  StartedChild& operator=(StartedChild&&) = default;
  ~StartedChild();

  bool started() const { return process_.valid(); }
  // The child's process id; 0 when it was not started.
  std::uint32_t process_id() const;
  // Waits up to `timeout`; true when the child has ended.
  bool WaitFor(std::chrono::milliseconds timeout) const;
  // Terminates the child when it still runs, and waits for it to end.
  void Terminate();
  // Exit code and output once the child has ended.
  ChildRun Result() const;

 private:
  friend StartedChild StartProgram(const std::filesystem::path&, const std::vector<std::wstring>&,
                                   const std::vector<std::string>&);
  qv::setup::UniqueHandle process_;
  std::unique_ptr<TempFolder> folder_;  // holds the output file
};

// Starts `program` with the arguments (each quoted so that the program's
// command-line splitting gives it back exactly) and with standard output and
// standard error in one file, never a pipe. `environment` changes the child's
// environment: "NAME=value" sets a variable, "NAME" alone removes it. Fails the
// current test (and returns a child that is not started) when it cannot start.
StartedChild StartProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                          const std::vector<std::string>& environment = {});

// StartProgram, then waits up to `timeout` for it. Fails the current test when
// the program cannot start or does not end in time (it is terminated then).
ChildRun RunProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                    const std::vector<std::string>& environment = {},
                    std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Starts "<this program> --child <mode> <arguments...>" as StartProgram does.
StartedChild StartChildProcess(const std::string& mode, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment = {});

// Starts the child and waits up to 30 s for it. Fails the current test when
// the child cannot start or does not end in time.
ChildRun RunChildProcess(const std::string& mode, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});

}  // namespace qv::test
