#pragma once

#include <string>
#include <string_view>

namespace qv::update {

// The variable's value as UTF-8; empty when it is unset, empty, or not text at
// all (an unpaired surrogate), which no setting of ours can mean.
std::string EnvironmentText(std::string_view name);

}  // namespace qv::update
