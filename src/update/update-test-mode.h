#pragma once
// Whether the update test hooks are on: the test-only command-line modes and
// environment variables take effect only then. Never in an elevated process,
// so a test setting cannot steer what an administrator's run does.

#include <functional>
#include <optional>

namespace qv::update {

// The process's elevation: true or false, nullopt when it cannot be told.
using ElevationQuery = std::function<std::optional<bool>()>;

// True only when "QV_UPDATE_TEST" (the C runtime's environment) is exactly
// "1" and `elevation` answers "not elevated"; an unknown elevation means off.
// Asked afresh at every call.
bool IsUpdateTestMode(const ElevationQuery& elevation);

// IsUpdateTestMode with the foundation's elevation test of this process.
bool IsUpdateTestMode();

}  // namespace qv::update
