#pragma once

#include <chrono>
#include <filesystem>

#include "update/update-checker.h"

namespace qv::setup {

// How long "--check-update" waits for the check: up to 200 polls, 50 ms apart
// (about 10 s), then it reports whatever the check has by then.
struct CheckUpdatePolling {
  int polls = 200;
  std::chrono::milliseconds interval{50};
};

// "--check-update <result>": starts the update check as the setup window does
// (no installation folder), waits for it and writes four lines, each with its
// line end (scripts read the file line by line), without the result-file
// guard:
//   url <ReleaseUrl()>
//   this <CurrentVersion()>
//   done <1 or 0>
//   newer <version> <url>   or   newer none
// Returns exit code 0; raises only when the result cannot be written.
int RunCheckUpdateMode(const std::filesystem::path& result,
                       qv::update::Checker& checker = qv::update::TheUpdateChecker(),
                       const CheckUpdatePolling& polling = {});

}  // namespace qv::setup
