#pragma once
// Child modes: code a test runs in a separate process of its own test program.

#include <functional>
#include <string>
#include <vector>

namespace qv::test {

using ChildModeBody = std::function<int(const std::vector<std::string>& args)>;

// Registers a child mode at static initialisation; returns true for the registering variable.
bool RegisterChildMode(const char* name, ChildModeBody body);

// Runs the named mode; unknown names exit with 99.
int RunChildMode(const char* name, int argc, char** argv);

}  // namespace qv::test

// QV_CHILD_MODE(name) { ... return exit_code; } with `args` in scope.
#define QV_CHILD_MODE(name)                                                              \
  static int QvChildMode_##name(const std::vector<std::string>& args);                   \
  static const bool kQvChildModeRegistered_##name =                                      \
      ::qv::test::RegisterChildMode(#name, &QvChildMode_##name);                         \
  static int QvChildMode_##name([[maybe_unused]] const std::vector<std::string>& args)
