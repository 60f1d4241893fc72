#include "support/thrown.h"

#include <exception>

namespace qv::test {

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

}  // namespace qv::test
