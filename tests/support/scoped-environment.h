#pragma once
// Environment variables a test sets for its own process and restores when it
// ends. Set through the C runtime (_putenv_s), whose copy of the environment
// getenv reads, and which passes the change on to the process environment
// that GetEnvironmentVariableW reads.

#include <optional>
#include <string>
#include <string_view>

namespace qv::test {

class ScopedEnvironment {
 public:
  // Sets `name` to `value`; std::nullopt (or an empty value: Windows keeps no
  // empty variables) removes it.
  ScopedEnvironment(std::string name, std::optional<std::string> value);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Update test mode on ("QV_UPDATE_TEST" = "1") for the owner's lifetime.
class UpdateTestMode {
 public:
  UpdateTestMode() : variable_("QV_UPDATE_TEST", "1") {}

 private:
  ScopedEnvironment variable_;
};

}  // namespace qv::test
