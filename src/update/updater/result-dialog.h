#pragma once
// The dialog the updater shows when an update ended badly (failed, rolled
// back, or left broken): what happened in the player's language, the English
// detail, and a button that opens the release page in the browser.
//
// What the dialog shows is decided first, as a plain record, and only then
// handed to the task dialog; the page opener is a callable, so a caller (or a
// test) decides what "open the page" does.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "update/updater/updater-outcome.h"

namespace qv::setup::win_updater {

// Id of the "Open the release page" button; the close button is IDCLOSE.
inline constexpr int kOpenReleasePageButton = 100;

struct ResultDialogButton {
  int id = 0;
  std::wstring text;
};

struct ResultDialogConfig {
  std::wstring title;
  std::wstring main_instruction;
  std::wstring content;
  bool right_to_left = false;
  // Buttons of our own, in order. With a page: the page button and Close;
  // without one the dialog's own Close button stands alone.
  std::vector<ResultDialogButton> buttons;
  bool common_close_button = false;
  int default_button = IDCLOSE;
  // What the page button opens, if the page passes IsOpenableReleasePage.
  std::string page;
};

// True for the outcome kinds that end in this dialog: failed, rolled back, broken.
bool OutcomeShowsResultDialog(int kind);

// The dialog for an outcome, in the language of the table (English outside it).
ResultDialogConfig MakeResultDialogConfig(int language, const Outcome& outcome);

// True for an "https://" address with something after the scheme and no
// blank, control character or double quote, which could end the address
// inside the browser's command line. Nothing else is handed to the shell.
bool IsOpenableReleasePage(std::string_view page);

// Opens an address; called only with pages that IsOpenableReleasePage accepts.
using PageOpener = std::function<void(const std::string& page)>;

// The default opener: the shell's "open" verb, which starts the user's browser.
void OpenPageInBrowser(const std::string& page);

struct ResultDialogRun {
  bool shown = false;        // the task dialog ran and reported a button
  int button = 0;            // the button that ended it (IDCANCEL for Escape)
  bool page_opened = false;  // the page went to the opener
};

// Shows the dialog modally, owned by `owner` (may be null), and opens the page
// when the page button ended it. A dialog that cannot be shown is only logged.
ResultDialogRun ShowResultDialog(HWND owner, const ResultDialogConfig& config,
                                 const PageOpener& open_page = OpenPageInBrowser);

// MakeResultDialogConfig and ShowResultDialog in one step.
ResultDialogRun ShowUpdaterResultDialog(HWND owner, int language, const Outcome& outcome,
                                        const PageOpener& open_page = OpenPageInBrowser);

}  // namespace qv::setup::win_updater
