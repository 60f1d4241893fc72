#include "support/scoped-environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qv::test {
namespace {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
  // An empty value removes the variable, as a missing one.
  if (_putenv_s(name.c_str(), value ? value->c_str() : "") != 0) ADD_FAILURE() << "cannot set " << name;
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* previous = std::getenv(name_.c_str())) previous_ = previous;
  SetVariable(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetVariable(name_, previous_); }

}  // namespace qv::test
