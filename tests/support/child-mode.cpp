#include "support/child-mode.h"

#include <map>

namespace qv::test {
namespace {

std::map<std::string, ChildModeBody>& Modes() {
  static std::map<std::string, ChildModeBody> modes;
  return modes;
}

}  // namespace

bool RegisterChildMode(const char* name, ChildModeBody body) {
  Modes()[name] = std::move(body);
  return true;
}

int RunChildMode(const char* name, int argc, char** argv) {
  auto it = Modes().find(name);
  if (it == Modes().end()) return 99;
  return it->second(std::vector<std::string>(argv, argv + argc));
}

}  // namespace qv::test
