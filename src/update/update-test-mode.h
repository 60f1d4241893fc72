#pragma once
// Whether the update test hooks are on: the test-only command-line modes and
// environment variables take effect only then. Never in an elevated process,
// so a test setting cannot steer what an administrator's run does.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qv::update {

// The process's elevation: true or false, nullopt when it cannot be told.
using ElevationQuery = std::function<std::optional<bool>()>;

// True only when "QV_UPDATE_TEST" (the C runtime's environment) is exactly
// "1" and `elevation` answers "not elevated"; an unknown elevation means off.
// Asked afresh at every call.
bool IsUpdateTestMode(const ElevationQuery& elevation);

// IsUpdateTestMode with the foundation's elevation test of this process.
bool IsUpdateTestMode();

// The test switches ("QV_UPDATE_TEST_FAIL_AT", ...) come from the C runtime's
// environment, like the switch that turns them on; callers ask them only in
// test mode.
// A step number as atol reads it (leading blanks and a sign, up to the first
// other character; no digits give 0); `fallback` when the variable is unset.
std::int32_t TestSwitchStep(const wchar_t* name, std::int32_t fallback);
// The variable's text as UTF-8; empty when unset.
std::string TestSwitchText(const wchar_t* name);

}  // namespace qv::update
