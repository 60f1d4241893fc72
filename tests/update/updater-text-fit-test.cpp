// The updater window's texts fit their controls in all fourteen languages:
// the title in the caption, every phase line (with a long version and the
// largest percentage), the elevation notice and Cancel.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/text/text.h"
#include "support/text-fit.h"
#include "update/updater/updater-text.h"
#include "updater-window-fixture.h"

namespace {

using namespace qv::setup;
using qv::test::Narrow;
using qv::test::UpdaterWindowHolder;

// The longest version text a release carries in practice.
constexpr const char* kLongVersion = "10.10.10";

// Room the caption leaves its text: the frame's width less the icon and the
// three caption buttons.
int CaptionTextRoom(HWND window) {
  RECT frame{};
  ::GetWindowRect(window, &frame);
  return (frame.right - frame.left) - 3 * ::GetSystemMetrics(SM_CXSIZE) - ::GetSystemMetrics(SM_CXSMICON) -
         4 * ::GetSystemMetrics(SM_CXFRAME);
}

int CaptionTextWidth(HWND window, const std::wstring& text) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, ::GetDpiForSystem());
  HFONT font = ::CreateFontIndirectW(&metrics.lfCaptionFont);
  HDC dc = ::GetDC(window);
  HGDIOBJ previous = ::SelectObject(dc, font);
  RECT rect{0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_SINGLELINE | DT_CALCRECT);
  ::SelectObject(dc, previous);
  ::ReleaseDC(window, dc);
  ::DeleteObject(font);
  return rect.right - rect.left;
}

TEST(UpdaterTextFit, EveryLanguageFitsTheWindow) {
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    SCOPED_TRACE(std::string(UpdaterLanguageName(language)));
    UpdaterWindowHolder holder(language, kLongVersion);
    const auto& state = holder.state();

    const std::wstring title = Utf8ToWide(UpdaterTextFor(language, UpdaterText::kTitle));
    EXPECT_LE(CaptionTextWidth(holder.window(), title), CaptionTextRoom(holder.window())) << Narrow(title);

    for (int phase = 0; phase <= 5; ++phase) {
      const std::wstring line = Utf8ToWide(PhaseLine(language, phase, kLongVersion, 100));
      EXPECT_TRUE(qv::test::LabelHolds(state.status, line)) << Narrow(line);
    }
    const std::wstring notice = Utf8ToWide(UpdaterTextFor(language, UpdaterText::kElevationNotice));
    EXPECT_TRUE(qv::test::LabelHolds(state.status, notice)) << Narrow(notice);
    const std::wstring cancel = Utf8ToWide(UpdaterTextFor(language, UpdaterText::kCancel));
    EXPECT_TRUE(qv::test::ButtonHolds(state.cancel_button, cancel)) << Narrow(cancel);
    // The measure finds a text that cannot fit.
    EXPECT_FALSE(qv::test::LabelHolds(state.status, notice + L" " + notice));
  }
}

}  // namespace
