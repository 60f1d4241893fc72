#pragma once

#include <functional>
#include <string>

namespace qv::test {

// The what() text of the exception `action` raises, or "(no exception)".
std::string ThrownMessage(const std::function<void()>& action);

}  // namespace qv::test
