#include "foundation/hooks.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using namespace qv::setup;

// Records every ProgressHook call; restores empty hooks afterwards.
class HooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgressHook = [this](std::uint64_t done, std::uint64_t total) { calls.emplace_back(done, total); };
  }
  void TearDown() override {
    ProgressHook = nullptr;
    CancelHook = nullptr;
    LogLineHook = nullptr;
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
};

TEST_F(HooksTest, RaiseIsMonotonicBoundedAndNotifiesOnlyOnChange) {
  ResetProgress(100);
  AddProgress(0);          // nothing finished: no call
  AddProgress(30);         // 30
  RaiseProgressTo(10);     // below done: unchanged
  RaiseProgressTo(30);     // equal: unchanged
  AddProgress(~0ull);      // wraps around: unchanged
  RaiseProgressTo(250);    // past total: capped at 100
  AddProgress(5);          // already at total: nothing
  CompleteProgress();      // nothing new
  using Call = std::pair<std::uint64_t, std::uint64_t>;
  EXPECT_EQ(calls, (std::vector<Call>{{0, 100}, {30, 100}, {100, 100}}));
  EXPECT_EQ(ProgressCounters.done, 100u);
}

TEST_F(HooksTest, CompletionFillsTheTotal) {
  ResetProgress(7);
  AddProgress(3);
  CompleteProgress();
  EXPECT_EQ(calls.back(), (std::pair<std::uint64_t, std::uint64_t>{7, 7}));
  EXPECT_EQ(ProgressCounters.done, 7u);
}

TEST_F(HooksTest, EmptyHooksAreSkipped) {
  ProgressHook = nullptr;
  ResetProgress(10);
  AddProgress(4);
  EXPECT_EQ(ProgressCounters.done, 4u);  // counters still move
  SendLogLine("dropped");
  EXPECT_NO_THROW(ThrowIfCancelled());
  EXPECT_FALSE(IsCancelRequested());
}

TEST_F(HooksTest, CancelCheckRaisesTheUserSentence) {
  bool cancelled = false;
  CancelHook = [&] { return cancelled; };
  EXPECT_NO_THROW(ThrowIfCancelled());
  cancelled = true;
  try {
    ThrowIfCancelled();
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Installation cancelled.");
  }
}

TEST_F(HooksTest, LogLinesReachTheHook) {
  std::vector<std::string> lines;
  LogLineHook = [&](const std::string& line) { lines.push_back(line); };
  SendLogLine("Verifying the setup file...");
  EXPECT_EQ(lines, std::vector<std::string>{"Verifying the setup file..."});
}

}  // namespace
