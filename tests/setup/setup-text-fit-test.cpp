// Every fixed text of the setup window fits its control, measured with the
// control's own font the way the control draws it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "setup-window-fixture.h"
#include "setup/window/setup-window-layout.h"
#include "setup/window/setup-window.h"
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

// The status text as the window shows it: its line ends made CR LF, and the
// scroll bar added while it is longer than the box.
void ShowStatus(const std::wstring& text) {
  SetupUi.status_text = text;
  SetupUi.percent = -1;
  UpdateStatusLabel();
}

TEST_F(SetupTextFit, LabelsHoldTheirTexts) {
  const struct {
    SetupControl control;
    std::wstring text;
  } cases[] = {
      {SetupControl::kHeading, std::wstring(kHeadingText)},
      {SetupControl::kIntroduction, std::wstring(kIntroductionText)},
      {SetupControl::kVersion, L"Version 10.10.10"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(qv::test::LabelHolds(Control(c.control), c.text)) << qv::test::Narrow(c.text);
  }
}

// The status box shows the window's own lines and every summary whole.
TEST_F(SetupTextFit, TheStatusBoxHoldsItsLines) {
  const std::wstring cases[] = {
      std::wstring(kInitialStatusText),
      kLongestSummary,
      L"Installed. Launch qv.exe or the desktop shortcut.",
      L"Installation cancelled. 100%",
      L"Verifying the setup file... 100%",
  };
  for (const std::wstring& text : cases) {
    EXPECT_TRUE(qv::test::TextBoxHolds(Control(SetupControl::kStatusLabel), text, ShowStatus)) << qv::test::Narrow(text);
  }
}

// A folder path as long as an installation's may be (the game's path stays
// below 250 characters).
const std::wstring kLongFolder = L"C:\\Users\\Player Name\\Documents\\" + std::wstring(180, L'q');

// The package extraction helper's log as a failure quotes it: its first 600
// characters, lines ended by LF, the helper's own reason last.
std::wstring HelperFailure() {
  std::wstring log = L"QV.PkgExtract 1.0\npackage: " + kLongFolder + L"\\Q.V. game.pkg\noutput: " + kLongFolder +
                     L"\\.qv-install-1\\CUSA09901\n";
  while (log.size() < 520) log += L"extracting Image0/data/chunk.psarc\n";
  log += L"error: the package's PFS image is encrypted; use a fake PKG made from your own console dump";
  log.resize(600);
  return L"PKG extraction failed. " + log;
}

// The longest failures of an install can all be read: whole, or to their
// end through the box's scroll bar.
TEST_F(SetupTextFit, TheLongestFailuresCanBeReadToTheirEnd) {
  const std::wstring cases[] = {
      HelperFailure(),
      L"Could not create the folder " + kLongFolder +
          L": the path does not exist (is its drive or network share connected?).",
      L"This installation folder's path is too long: the game cannot start when its path has 250 characters or "
      L"more. Choose a folder with a shorter path.",
      L"The game archives of this install are missing or damaged. Select your Q.V. PKG or dumped game folder to "
      L"restore them.",
      L"This folder is not a Q.V. DU Vora portable copy (no qv-files.json naming the game).",
      L"Choose a new installation folder. Existing folders are never overwritten.",
      L"Choose the installation folder by its full path, starting with a drive letter or a network share (for "
      L"example C:\\Games\\Q.V. DU Vora).",
      L"Could not create the folder " + kLongFolder + L"\\CON: Windows keeps the name \"CON\" for a device.",
  };
  for (const std::wstring& text : cases) {
    EXPECT_TRUE(qv::test::TextBoxReadable(Control(SetupControl::kStatusLabel), text, ShowStatus))
        << qv::test::Narrow(text);
  }
  // The helper's failure is longer than the box: the scroll bar is what
  // brings its end, the reason, into view.
  const qv::test::TextBoxLayout helper =
      qv::test::LayOutInTextBox(Control(SetupControl::kStatusLabel), HelperFailure(), ShowStatus);
  EXPECT_FALSE(helper.fits);
  EXPECT_TRUE(helper.end_reachable);
}

// The newer-release notice shows the release's whole download address.
TEST_F(SetupTextFit, TheNoticeHoldsAReleaseAddress) {
  const std::wstring cases[] = {
      L"Version v10.10.10 is available: https://github.com/qv-du-vora-port/qv-du-vora-pc/releases/download/"
      L"v10.10.10/Q.V.PC.Rure.Setup.exe",
      L"Version 1.3.0 is available: https://assets.qv-releases.example/qv-du-vora/releases/download/v1.3.0/"
      L"Q.V.PC.Rure.Setup.exe",
  };
  for (const std::wstring& text : cases) {
    EXPECT_TRUE(qv::test::TextBoxHolds(Control(SetupControl::kNoticeLabel), text)) << qv::test::Narrow(text);
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
  EXPECT_FALSE(qv::test::TextBoxHolds(Control(SetupControl::kNoticeLabel), std::wstring(3, L'x') + std::wstring(300, L'w')));
  // A label is no text box: nothing scrolls it.
  EXPECT_FALSE(qv::test::TextBoxReadable(Control(SetupControl::kIntroduction), L"Short."));
}

}  // namespace

