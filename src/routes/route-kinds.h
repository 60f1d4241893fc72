#pragma once
// The two graphics add-ons ("routes") and what a caller can ask of them, as the
// route command lines and the route queue spell them.

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::setup {

// The frame-generation unlock ("fg") and the DLSS 5 route ("nr").
enum class RouteKind : std::int32_t { kFrameGeneration = 0, kDlss5 = 1 };

enum class RouteAction : std::int32_t { kInstall = 1, kRemove = 2, kReinstall = 3 };

// One queued operation.
struct RouteQueueItem {
  RouteKind kind = RouteKind::kFrameGeneration;
  RouteAction action = RouteAction::kInstall;

  bool operator==(const RouteQueueItem&) const = default;
};

// "fg" or "nr".
std::string_view RouteKindWord(RouteKind kind);

// "install", "remove" or "reinstall".
std::string_view RouteActionWord(RouteAction action);

// The item as the queue text and the log name it: "fg:install", "nr:reinstall".
std::string RouteItemLabel(const RouteQueueItem& item);

}  // namespace qv::setup
