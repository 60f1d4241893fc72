#include "update/update-test-mode.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/text/text.h"
#include "foundation/win/elevation.h"

namespace qv::update {

bool IsUpdateTestMode(const ElevationQuery& elevation) {
  const char* value = std::getenv("QV_UPDATE_TEST");
  if (value == nullptr || std::strcmp(value, "1") != 0) return false;
  std::optional<bool> elevated = elevation ? elevation() : std::nullopt;
  return elevated.has_value() && !*elevated;
}

bool IsUpdateTestMode() { return IsUpdateTestMode(qv::setup::QueryProcessElevation); }

std::int32_t TestSwitchStep(const wchar_t* name, std::int32_t fallback) {
  const wchar_t* value = ::_wgetenv(name);
  return value ? static_cast<std::int32_t>(::_wtol(value)) : fallback;
}

std::string TestSwitchText(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value ? qv::setup::WideToUtf8(value) : std::string();
}

}  // namespace qv::update
