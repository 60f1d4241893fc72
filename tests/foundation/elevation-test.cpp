#include "foundation/elevation.h"

#include <gtest/gtest.h>

namespace {

TEST(Elevation, WineIsNeverReportedElevated) {
  // The tests run under Wine, where every token claims full elevation.
  ASSERT_TRUE(qv::setup::IsRunningUnderWine());
  auto elevation = qv::setup::QueryProcessElevation();
  ASSERT_TRUE(elevation.has_value()) << "the own process token must be readable";
  EXPECT_FALSE(*elevation);
  EXPECT_FALSE(qv::setup::IsProcessElevated());
}

}  // namespace
