#pragma once
// The queue text of the "--ops" option ("fg:install,nr:remove") and the rules
// by which several operations on one route merge into one.

#include <string>
#include <string_view>
#include <vector>

#include "routes/route-kinds.h"

namespace qv::setup {

// Replaces `queue` with the items of `text`, merged as they come. Items are
// separated by ","; each is exactly "fg" or "nr", ":" and "install", "remove"
// or "reinstall" (case-sensitive, no blanks). One "," at the very end is
// accepted. An empty text is a valid empty queue. The first empty or malformed
// item ends the parse with false; the items merged before it stay.
bool ParseRouteQueue(std::string_view text, std::vector<RouteQueueItem>& queue);

// Adds one operation: at most one item per route stays queued, in the order the
// routes were first added. On a queued item of the same route:
//   install   + install -> install,   + remove -> (item dropped), + reinstall -> install
//   remove    + install -> reinstall, + remove -> remove,         + reinstall -> reinstall
//   reinstall + install -> reinstall, + remove -> remove,         + reinstall -> reinstall
// A changed item keeps its place; a dropped one closes the gap.
void MergeRouteQueueItem(std::vector<RouteQueueItem>& queue, RouteKind kind, RouteAction action);

// The queue in the "--ops" syntax; empty for an empty queue.
std::string RouteQueueText(const std::vector<RouteQueueItem>& queue);

}  // namespace qv::setup
