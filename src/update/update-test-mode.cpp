#include "update/update-test-mode.h"

#include <cstdlib>
#include <cstring>

#include "foundation/elevation.h"

namespace qv::update {

bool IsUpdateTestMode(const ElevationQuery& elevation) {
  const char* value = std::getenv("QV_UPDATE_TEST");
  if (value == nullptr || std::strcmp(value, "1") != 0) return false;
  std::optional<bool> elevated = elevation ? elevation() : std::nullopt;
  return elevated.has_value() && !*elevated;
}

bool IsUpdateTestMode() { return IsUpdateTestMode(qv::setup::QueryProcessElevation); }

}  // namespace qv::update
