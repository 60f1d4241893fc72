// Every fixed text of the setup window fits its control, measured with the
// control's own font the way the control draws it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "setup-window-fixture.h"
#include "setup/setup-window-layout.h"
#include "support/text-fit.h"

namespace {

using namespace qv::setup;
using qv::test::MeasureText;

// The longest text the status label shows: an update that restored the game
// archives, with both extra sentences, and the largest counts the outcome holds.
const std::wstring kLongestSummary =
    L"Updated to version 1.1.0: 4294967295 files replaced, 4294967295 added, 4294967295 removed, game archives "
    L"restored. Your "
    L"settings and saves are unchanged. Your copy differs from the tested US release; install-notes.txt in the "
    L"install folder lists how. The start picture (sce_sys/pic1.png) is still missing: select your PKG or dump "
    L"folder above and press Install again to add it.";

using SetupTextFit = qv::test::SetupWindowTest;

TEST_F(SetupTextFit, LabelsHoldTheirTexts) {
  const struct {
    SetupControl control;
    std::wstring text;
  } cases[] = {
      {SetupControl::kHeading, std::wstring(kHeadingText)},
      {SetupControl::kIntroduction, std::wstring(kIntroductionText)},
      {SetupControl::kVersion, L"Version 10.10.10"},
      {SetupControl::kStatusLabel, std::wstring(kInitialStatusText)},
      {SetupControl::kStatusLabel, kLongestSummary},
      {SetupControl::kStatusLabel, L"Installed. Launch qv.exe or the desktop shortcut."},
      {SetupControl::kStatusLabel, L"Installation cancelled. 100%"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(qv::test::LabelHolds(Control(c.control), c.text)) << qv::test::Narrow(c.text);
  }
}

// The label of the window's first design was 55 units tall: two to three
// lines. The longest summary takes five, so it was cut off there.
TEST_F(SetupTextFit, TheLongestSummaryNeedsMoreThanTheFirstDesignsLabel) {
  HWND status = Control(SetupControl::kStatusLabel);
  const RECT client = qv::test::ClientRect(status);
  const SIZE needed = MeasureText(status, kLongestSummary, DT_WORDBREAK, client.right);
  const SIZE line = MeasureText(status, L"Xy", DT_SINGLELINE, client.right);
  EXPECT_GE(needed.cy / line.cy, 4);
  EXPECT_GT(needed.cy, ScaleLength(55, SetupUi.scale));
}

TEST_F(SetupTextFit, ButtonsAndTheCheckBoxHoldTheirTexts) {
  const struct {
    int id;
    std::wstring text;
  } cases[] = {
      {kPickPackageId, std::wstring(kPickPackageText)}, {kPickFolderId, std::wstring(kPickFolderText)},
      {kLocationId, std::wstring(kLocationText)},       {kInstallId, std::wstring(kInstallText)},
      {kInstallId, std::wstring(kInstalledText)},       {kCloseId, std::wstring(kCloseText)},
      {kCloseId, std::wstring(kCancelText)},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(qv::test::ButtonHolds(Control(c.id), c.text)) << qv::test::Narrow(c.text);
  }
  EXPECT_TRUE(qv::test::CheckBoxHolds(Control(kShortcutBoxId), std::wstring(kShortcutText)));
}

// The measure itself: a text that cannot fit is found out.
TEST_F(SetupTextFit, TooLongTextsAreFoundOut) {
  EXPECT_FALSE(qv::test::ButtonHolds(Control(kInstallId), L"Install the game now, please"));
  EXPECT_FALSE(qv::test::LabelHolds(Control(SetupControl::kIntroduction),
                                     std::wstring(kIntroductionText) + L" And one more sentence to wrap."));
  EXPECT_FALSE(qv::test::CheckBoxHolds(Control(kShortcutBoxId), std::wstring(kShortcutText) + L" and more words"));
}

}  // namespace

