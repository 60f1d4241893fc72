#include "routes/route-kinds.h"

namespace qv::setup {

std::string_view RouteKindWord(RouteKind kind) { return kind == RouteKind::kFrameGeneration ? "fg" : "nr"; }

std::string_view RouteActionWord(RouteAction action) {
  switch (action) {
    case RouteAction::kRemove:
      return "remove";
    case RouteAction::kReinstall:
      return "reinstall";
    default:
      return "install";
  }
}

std::string RouteItemLabel(const RouteQueueItem& item) {
  std::string label(RouteKindWord(item.kind));
  label += ':';
  label += RouteActionWord(item.action);
  return label;
}

}  // namespace qv::setup
