#pragma once
// The scenario tests of the built-in self test, in their run order.

#include <vector>

#include "selftest/self-test-driver.h"

namespace qv::setup {

std::vector<SelfTestScenario> BuiltInSelfTestScenarios();

}  // namespace qv::setup
