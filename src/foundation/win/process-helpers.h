#pragma once
// Small questions about processes: the running program's own file, the
// environment as UTF-8, the foreground-window permission and whether a
// process is still running.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Full path of the running program's file; empty when the system cannot say.
std::filesystem::path OwnExecutablePath();

// The variable's value as UTF-8; empty when it is unset or empty. Raises
// std::system_error when the value holds an unpaired surrogate.
std::string GetEnvUtf8(std::string_view ascii_name);

// Lets the process (any process for 0) bring its window to the foreground.
bool AllowForeground(std::uint32_t process_id);

// True while the process runs. A process that exists but refuses to be
// opened (an elevated one seen from an unelevated caller) counts as running.
bool IsProcessRunning(std::uint32_t process_id);

}  // namespace qv::setup
