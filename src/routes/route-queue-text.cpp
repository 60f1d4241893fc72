#include "routes/route-queue-text.h"

#include <algorithm>
#include <optional>

namespace qv::setup {
namespace {

std::optional<RouteQueueItem> ParseItem(std::string_view item) {
  if (item.size() < 4 || item[2] != ':') return std::nullopt;
  RouteQueueItem parsed;
  const std::string_view kind = item.substr(0, 2);
  if (kind == "fg") {
    parsed.kind = RouteKind::kFrameGeneration;
  } else if (kind == "nr") {
    parsed.kind = RouteKind::kDlss5;
  } else {
    return std::nullopt;
  }
  const std::string_view action = item.substr(3);
  if (action == "install") {
    parsed.action = RouteAction::kInstall;
  } else if (action == "remove") {
    parsed.action = RouteAction::kRemove;
  } else if (action == "reinstall") {
    parsed.action = RouteAction::kReinstall;
  } else {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

bool ParseRouteQueue(std::string_view text, std::vector<RouteQueueItem>& queue) {
  queue.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t comma = text.find(',', start);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    std::optional<RouteQueueItem> item = ParseItem(text.substr(start, end - start));
    if (!item) return false;
    MergeRouteQueueItem(queue, item->kind, item->action);
    if (comma == std::string_view::npos) break;
    // A "," at the very end ends the text; anywhere else an item must follow it.
    start = comma + 1;
  }
  return true;
}

void MergeRouteQueueItem(std::vector<RouteQueueItem>& queue, RouteKind kind, RouteAction action) {
  auto queued = std::find_if(queue.begin(), queue.end(), [kind](const RouteQueueItem& item) { return item.kind == kind; });
  if (queued == queue.end()) {
    queue.push_back({kind, action});
    return;
  }
  if (action == RouteAction::kRemove) {
    // Removing what was only going to be installed leaves nothing to do.
    if (queued->action == RouteAction::kInstall) {
      queue.erase(queued);
    } else {
      queued->action = RouteAction::kRemove;
    }
    return;
  }
  // Installing after a removal is a reinstall; an install or reinstall that is
  // already queued stays what it is.
  if (queued->action == RouteAction::kRemove) queued->action = RouteAction::kReinstall;
}

std::string RouteQueueText(const std::vector<RouteQueueItem>& queue) {
  std::string text;
  for (const RouteQueueItem& item : queue) {
    if (!text.empty()) text += ',';
    text += RouteItemLabel(item);
  }
  return text;
}

}  // namespace qv::setup
