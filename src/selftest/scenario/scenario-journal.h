#pragma once
// The self test of the update journal: a commit that crashes at one of its
// steps must leave a journal from which recovery restores the installation
// exactly; a "swapped" journal must roll back; a "started" one must be
// finished and cleaned up; and hand-written journals must be accepted or
// refused according to where their paths point.

#include <filesystem>
#include <string>

namespace qv::setup {

// Works in `folder` (made as needed, removed at the end) and returns its
// failure tokens, empty on success. Only the simulated crash of the commit is
// caught as such; any other exception outside std::exception leaves the test.
std::string SelfTestJournalRecovery(const std::filesystem::path& folder);

}  // namespace qv::setup
