#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "routes/route-queue-text.h"

namespace {

using qv::setup::MergeRouteQueueItem;
using qv::setup::ParseRouteQueue;
using qv::setup::RouteAction;
using qv::setup::RouteKind;
using qv::setup::RouteQueueItem;
using qv::setup::RouteQueueText;

struct ParseCase {
  const char* text;
  bool ok;
  const char* queue;  // RouteQueueText of what stays
};

TEST(RouteQueueText, ParsesAndMergesAsTheItemsCome) {
  const ParseCase cases[] = {
      {"", true, ""},
      {"fg:install", true, "fg:install"},
      {"nr:remove,fg:reinstall", true, "nr:remove,fg:reinstall"},
      {"fg:install,nr:remove,fg:remove,fg:reinstall", true, "nr:remove,fg:reinstall"},
      {"fg:install,fg:remove", true, ""},
      {"fg:remove,fg:install", true, "fg:reinstall"},
      {"nr:reinstall,nr:install", true, "nr:reinstall"},
      {"fg:install,", true, "fg:install"},
      // Malformed items: the ones before stay.
      {"fg:Install", false, ""},
      {"FG:install", false, ""},
      {"fg-install", false, ""},
      {"fgx:install", false, ""},
      {"fg:", false, ""},
      {":install", false, ""},
      {"fg:install ", false, ""},
      {" fg:install", false, ""},
      {",x", false, ""},
      {",", false, ""},
      {",fg:install", false, ""},
      {"fg:install,,nr:install", false, "fg:install"},
      {"fg:install,nr:bogus,nr:install", false, "fg:install"},
      {"nr:remove,fg:install,x", false, "nr:remove,fg:install"},
      {"fg:install,,", false, "fg:install"},
  };
  for (const ParseCase& c : cases) {
    std::vector<RouteQueueItem> queue{{RouteKind::kDlss5, RouteAction::kRemove}};  // replaced, never kept
    EXPECT_EQ(ParseRouteQueue(c.text, queue), c.ok) << c.text;
    EXPECT_EQ(RouteQueueText(queue), c.queue) << c.text;
  }
}

TEST(RouteQueueText, MergeRulesForEveryPair) {
  const char* actions[] = {"install", "remove", "reinstall"};
  // Row: queued action; column: new action; what stays queued ("" = nothing).
  const char* expected[3][3] = {
      {"fg:install", "", "fg:install"},
      {"fg:reinstall", "fg:remove", "fg:reinstall"},
      {"fg:reinstall", "fg:remove", "fg:reinstall"},
  };
  for (int queued = 0; queued < 3; ++queued) {
    for (int added = 0; added < 3; ++added) {
      std::vector<RouteQueueItem> queue;
      MergeRouteQueueItem(queue, RouteKind::kFrameGeneration, static_cast<RouteAction>(queued + 1));
      MergeRouteQueueItem(queue, RouteKind::kFrameGeneration, static_cast<RouteAction>(added + 1));
      EXPECT_EQ(RouteQueueText(queue), expected[queued][added]) << actions[queued] << " then " << actions[added];
    }
  }
}

TEST(RouteQueueText, AChangedItemKeepsItsPlaceAndADroppedOneClosesTheGap) {
  std::vector<RouteQueueItem> queue;
  MergeRouteQueueItem(queue, RouteKind::kFrameGeneration, RouteAction::kRemove);
  MergeRouteQueueItem(queue, RouteKind::kDlss5, RouteAction::kInstall);
  MergeRouteQueueItem(queue, RouteKind::kFrameGeneration, RouteAction::kInstall);
  EXPECT_EQ(RouteQueueText(queue), "fg:reinstall,nr:install");

  MergeRouteQueueItem(queue, RouteKind::kDlss5, RouteAction::kRemove);
  EXPECT_EQ(RouteQueueText(queue), "fg:reinstall");
  MergeRouteQueueItem(queue, RouteKind::kFrameGeneration, RouteAction::kRemove);
  MergeRouteQueueItem(queue, RouteKind::kDlss5, RouteAction::kReinstall);
  EXPECT_EQ(RouteQueueText(queue), "fg:remove,nr:reinstall");
  ASSERT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue[0], (RouteQueueItem{RouteKind::kFrameGeneration, RouteAction::kRemove}));
  EXPECT_EQ(queue[1], (RouteQueueItem{RouteKind::kDlss5, RouteAction::kReinstall}));
}

TEST(RouteQueueText, TextOfTheQueueParsesBackToIt) {
  const std::vector<RouteQueueItem> queue{{RouteKind::kDlss5, RouteAction::kReinstall},
                                         {RouteKind::kFrameGeneration, RouteAction::kRemove}};
  const std::string text = RouteQueueText(queue);
  EXPECT_EQ(text, "nr:reinstall,fg:remove");
  std::vector<RouteQueueItem> parsed;
  ASSERT_TRUE(ParseRouteQueue(text, parsed));
  EXPECT_EQ(parsed, queue);
}

}  // namespace
