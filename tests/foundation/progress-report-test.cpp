#include "foundation/progress-report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/hooks.h"
#include "foundation/progress-stats-text.h"
#include "foundation/setup-window-state.h"
#include "setup/setup-hooks.h"

namespace {

using qv::setup::FormatProgressStats;
using qv::setup::ProgressStatsRecord;
using qv::setup::ReportProgressTo;
using qv::setup::SetupWindowState;

struct Call {
  std::uint64_t done;
  std::uint64_t total;
};

std::string StatsAfter(const std::vector<Call>& calls) {
  SetupWindowState no_window;
  ProgressStatsRecord stats;
  for (const Call& call : calls) ReportProgressTo(no_window, stats, call.done, call.total);
  return FormatProgressStats(stats);
}

TEST(ProgressReport, StatisticsWithoutAWindow) {
  const struct {
    const char* what;
    std::vector<Call> calls;
    std::string text;
  } cases[] = {
      {"no call", {}, "progress events 0 monotonic yes distinct 0 last 0% (0/0 bytes)"},
      {"0, 50, 100 of 100", {{0, 100}, {50, 100}, {100, 100}},
       "progress events 3 monotonic yes distinct 3 last 100% (100/100 bytes)"},
      {"backwards", {{10, 100}, {5, 100}}, "progress events 2 monotonic no distinct 2 last 5% (5/100 bytes)"},
      {"total changed", {{10, 100}, {20, 200}}, "progress events 2 monotonic no distinct 1 last 10% (20/200 bytes)"},
      {"total 0 sets no flag", {{0, 0}}, "progress events 1 monotonic yes distinct 0 last 0% (0/0 bytes)"},
      {"same value twice", {{1, 3}, {1, 3}, {2, 3}}, "progress events 3 monotonic yes distinct 2 last 66% (2/3 bytes)"},
      {"first call may start anywhere", {{90, 100}}, "progress events 1 monotonic yes distinct 1 last 90% (90/100 bytes)"},
      // A caller reporting more than the total flags permille 1000, never beyond.
      {"above the total", {{100, 100}, {300, 100}},
       "progress events 2 monotonic yes distinct 1 last 300% (300/100 bytes)"},
      {"huge values", {{UINT64_MAX / 2, UINT64_MAX}, {UINT64_MAX, UINT64_MAX}},
       "progress events 2 monotonic yes distinct 2 last 100% (18446744073709551615/18446744073709551615 bytes)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatsAfter(c.calls), c.text) << c.what;
  }
}

TEST(ProgressReport, PermilleIsClampedAndNeverWraps) {
  const struct {
    std::uint64_t done, total;
    int permille;
  } cases[] = {
      {0, 0, 0},        {5, 0, 0},          {0, 100, 0},
      {1, 1000, 1},     {999, 1000, 999},   {1000, 1000, 1000},
      {1001, 1000, 1000}, {UINT64_MAX, 1, 1000},
      {UINT64_MAX / 2, UINT64_MAX, 499},   // done x 1000 would wrap in 64 bits
      {UINT64_MAX / 1000 + 1, UINT64_MAX, 1},  // wraps to 0 in 64 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qv::setup::ProgressPermille(c.done, c.total), c.permille) << c.done << "/" << c.total;
  }
}

// A window of this thread to receive posted messages.
class TestWindow {
 public:
  TestWindow() : window_(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  ~TestWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

  // The wParam values of the posted messages of that kind, in order; the
  // heap strings of status lines are taken over and returned as their text.
  std::vector<WPARAM> TakeProgress() {
    std::vector<WPARAM> values;
    MSG message;
    while (::PeekMessageW(&message, window_, qv::setup::kSetupProgressMessage, qv::setup::kSetupProgressMessage,
                          PM_REMOVE)) {
      EXPECT_EQ(message.lParam, 0);
      values.push_back(message.wParam);
    }
    return values;
  }
  std::vector<std::wstring> TakeStatusLines() {
    std::vector<std::wstring> lines;
    MSG message;
    while (::PeekMessageW(&message, window_, qv::setup::kSetupStatusLineMessage,
                          qv::setup::kSetupStatusLineMessage, PM_REMOVE)) {
      std::unique_ptr<std::wstring> line(reinterpret_cast<std::wstring*>(message.lParam));
      lines.push_back(*line);
    }
    return lines;
  }

 private:
  HWND window_;
};

TEST(ProgressReport, WithAWindowOnlyChangedPermilleValuesArePosted) {
  TestWindow window;
  ASSERT_NE(window.get(), nullptr) << ::GetLastError();
  SetupWindowState state;
  state.window = window.get();
  ProgressStatsRecord stats;

  const std::vector<Call> calls = {{0, 100},  {0, 100},  {1, 1000}, {1, 1000},  {5, 100},   {50, 1000},
                                   {999, 1000}, {1000, 1000}, {3000, 1000}, {UINT64_MAX, 7}, {0, 0},  {5, 0}};
  for (const Call& call : calls) ReportProgressTo(state, stats, call.done, call.total);
  EXPECT_EQ(window.TakeProgress(), (std::vector<WPARAM>{0, 1, 50, 999, 1000, 0}));
  EXPECT_EQ(state.last_permille.load(), 0);
  // Statistics are for runs without a window only.
  EXPECT_EQ(stats.events, 0u);

  // A new install resets last_permille: the first value is posted again.
  state.last_permille = -1;
  ReportProgressTo(state, stats, 0, 10);
  EXPECT_EQ(window.TakeProgress(), (std::vector<WPARAM>{0}));
}

TEST(SetupHooks, LinesGoToTheWindowWhenOneExists) {
  TestWindow window;
  ASSERT_NE(window.get(), nullptr);
  qv::setup::AssignSetupHooks();
  ASSERT_TRUE(qv::setup::LogLineHook && qv::setup::CancelHook && qv::setup::ProgressHook);

  // No window: nothing is posted anywhere, nothing leaks.
  qv::setup::SetupWindow.window = nullptr;
  qv::setup::LogLineHook("lost");
  EXPECT_TRUE(window.TakeStatusLines().empty());

  qv::setup::SetupWindow.window = window.get();
  qv::setup::LogLineHook("Extracting \xc3\xa9t\xc3\xa9 files");
  qv::setup::PostStatusText(L"second");
  qv::setup::ProgressHook(1, 2);
  EXPECT_EQ(window.TakeStatusLines(), (std::vector<std::wstring>{L"Extracting \u00e9t\u00e9 files", L"second"}));
  EXPECT_EQ(window.TakeProgress(), (std::vector<WPARAM>{500}));

  qv::setup::SetupCancelFlag = true;
  EXPECT_TRUE(qv::setup::CancelHook());
  EXPECT_TRUE(qv::setup::IsSetupCancelled());
  qv::setup::SetupCancelFlag = false;
  EXPECT_FALSE(qv::setup::CancelHook());

  qv::setup::SetupWindow.window = nullptr;
  qv::setup::SetupWindow.last_permille = -1;
  qv::setup::LogLineHook = nullptr;
  qv::setup::CancelHook = nullptr;
  qv::setup::ProgressHook = nullptr;
}

}  // namespace
