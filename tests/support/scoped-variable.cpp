#include "support/scoped-variable.h"

#include <cstdlib>

namespace qv::test {

ScopedVariable::ScopedVariable(const char* name, const std::string& value) : name_(name) {
  ::_putenv_s(name, value.c_str());
}

// An empty value removes the variable.
ScopedVariable::~ScopedVariable() { ::_putenv_s(name_, ""); }

}  // namespace qv::test
