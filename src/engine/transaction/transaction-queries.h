#pragma once
// The two questions the install transaction asks the system before it writes:
// how much space the destination's volume offers and whether a folder accepts
// new files. They are a record of callables so that tests can present a full
// volume or a folder that refuses writes (neither can be staged for real on a
// test machine, least of all under Wine running as root).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace qv::setup {

// Needed on the destination's volume when the run brings in the game's own
// files (a console package or a dumped folder), and otherwise.
inline constexpr std::uint64_t kSpaceWithGameFiles = 3'221'225'472;  // 3 GiB
inline constexpr std::uint64_t kSpaceWithoutGameFiles = 1'073'741'824;  // 1 GiB

struct TransactionQueries {
  // Bytes available to this user (quota-aware) on the volume of the folder;
  // raises filesystem_error "space" when the system cannot tell.
  std::function<std::uint64_t(const std::filesystem::path& folder)> available_space;
  // Proves that the folder accepts new files, or raises the sentence for the
  // user (ProbeWritableFolder's contract).
  std::function<void(const std::filesystem::path& folder, std::string_view suffix, const std::string& label)>
      probe_writable;
};

// The queries through the real system calls.
const TransactionQueries& SystemTransactionQueries();

// GetDiskFreeSpaceExW's bytes available to the caller; filesystem_error "space".
std::uint64_t AvailableSpace(const std::filesystem::path& folder);

}  // namespace qv::setup
