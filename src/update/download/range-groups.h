#pragma once
// How the changed files' streams are joined into range requests.

#include <cstdint>
#include <vector>

#include "update/signed-manifest.h"

namespace qv::setup {

// One range request: the bytes [start, end) of the setup file, holding the
// streams of `entries` (sorted by offset, none overlapping another).
struct RangeGroup {
  std::vector<const qv::update::FileEntry*> entries;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// The entries sorted by offset (stably) and cut into groups: an entry joins
// the group before it when it starts at or after that group's end and at most
// kRangeJoinDistance bytes after it; an overlapping entry starts a group of
// its own. Every entry must have packed > 0 and offset + packed without
// overflow (FetchRanges checks both).
std::vector<RangeGroup> PlanRangeGroups(std::vector<const qv::update::FileEntry*> entries);

// "bytes=<start>-<end - 1>".
std::string RangeHeaderOf(const RangeGroup& group);

}  // namespace qv::setup
