#include "update/download/range-groups.h"

#include <algorithm>
#include <string>

#include "update/download/range-fetch.h"

namespace qv::setup {

std::vector<RangeGroup> PlanRangeGroups(std::vector<const qv::update::FileEntry*> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const qv::update::FileEntry* a, const qv::update::FileEntry* b) { return a->offset < b->offset; });
  std::vector<RangeGroup> groups;
  for (const qv::update::FileEntry* entry : entries) {
    const std::uint64_t entry_end = entry->offset + entry->packed;
    if (!groups.empty()) {
      RangeGroup& last = groups.back();
      // Written so that nothing wraps: entry->offset >= last.end first.
      if (entry->offset >= last.end && entry->offset - last.end <= kRangeJoinDistance) {
        last.entries.push_back(entry);
        last.end = std::max(last.end, entry_end);
        continue;
      }
    }
    groups.push_back(RangeGroup{{entry}, entry->offset, entry_end});
  }
  return groups;
}

std::string RangeHeaderOf(const RangeGroup& group) {
  return "bytes=" + std::to_string(group.start) + "-" + std::to_string(group.end - 1);
}

}  // namespace qv::setup
