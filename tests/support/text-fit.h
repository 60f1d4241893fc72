#pragma once
// Whether a text fits the control that shows it, measured with the control's
// own font the way the control draws it (DrawTextW with DT_CALCRECT).

#include <windows.h>

#include <functional>
#include <string>

namespace qv::test {

// The control's client rectangle (left and top 0).
RECT ClientRect(HWND control);

// The size `text` takes in the control's font, laid out `format` (DT_* flags,
// e.g. DT_WORDBREAK) within `width` pixels.
SIZE MeasureText(HWND control, const std::wstring& text, UINT format, int width);

// True when `text` fits the control as a static label draws it: wrapped at
// its width, no taller than it.
bool LabelHolds(HWND control, const std::wstring& text);

// True when `text` fits on one line inside a push button's frame.
bool ButtonHolds(HWND control, const std::wstring& text);

// True when `text` fits on one line beside a check box's box.
bool CheckBoxHolds(HWND control, const std::wstring& text);

// Puts a text into a text box as its window does; empty: WM_SETTEXT as is.
using ShowText = std::function<void(const std::wstring& text)>;

// How a read-only edit box that stands in for a label lays out `text` (line
// ends as the box needs them, CR LF), asked of the box itself after `show`
// put the text in: whether all lines fit its formatting rectangle at once,
// and whether its vertical scroll bar brings the last line into view. Both
// false for any other control. The box's own text is put back afterwards.
struct TextBoxLayout {
  bool fits = false;
  bool end_reachable = false;
};
TextBoxLayout LayOutInTextBox(HWND box, const std::wstring& text, const ShowText& show = {});

// All of `text` shows in the box without scrolling.
bool TextBoxHolds(HWND box, const std::wstring& text, const ShowText& show = {});

// All of `text` can be read in the box: it fits, or the box scrolls to its end.
bool TextBoxReadable(HWND box, const std::wstring& text, const ShowText& show = {});

// UTF-8 for failure messages.
std::string Narrow(const std::wstring& text);

}  // namespace qv::test
