#include "update/environment-text.h"

#include <exception>

#include "foundation/win/process-helpers.h"

namespace qv::update {

std::string EnvironmentText(std::string_view name) {
  try {
    return qv::setup::GetEnvUtf8(name);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace qv::update
