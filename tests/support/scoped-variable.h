#pragma once

#include <string>

namespace qv::test {

// Sets an environment variable for one test and removes it afterwards. It is
// set through the C runtime, which updates both its own copy (getenv) and the
// system's (GetEnvironmentVariableW, and the environment children inherit).
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
};

}  // namespace qv::test
