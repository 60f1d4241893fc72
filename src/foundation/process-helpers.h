#pragma once
// Small questions about processes: the running program's own file, the
// environment as UTF-8, the foreground-window permission and whether a
// process is still running.

#include <cstdint>
#include <filesystem>
#include <optional>
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

// IsProcessRunning for an id as records and command lines carry it: no
// process of the system has an id beyond 32 bits, so such an id runs none
// (cutting it to 32 bits would ask about another process).
bool IsProcessIdRunning(std::uint64_t process_id);

// When the process with this id was created, in FILETIME ticks (100 ns since
// 1601, UTC); nothing when it cannot be asked (no such process, no access).
// Ids are reused, so only the creation time tells one holder from the next.
std::optional<std::uint64_t> ProcessCreationTime(std::uint64_t process_id);

}  // namespace qv::setup
