#pragma once

#include <optional>

namespace qv::setup {

// True when the process runs under Wine (ntdll exports wine_get_version there).
bool IsRunningUnderWine();

// Whether the process token is elevated: nullopt when the token cannot be
// opened or queried. Wine marks every process elevated although it has no
// account separation, so under Wine the answer is always "not elevated".
std::optional<bool> QueryProcessElevation();

// QueryProcessElevation with a failed query read as "not elevated".
bool IsProcessElevated();

}  // namespace qv::setup
