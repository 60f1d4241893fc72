#pragma once
// Whether a text fits the control that shows it, measured with the control's
// own font the way the control draws it (DrawTextW with DT_CALCRECT).

#include <windows.h>

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

// UTF-8 for failure messages.
std::string Narrow(const std::wstring& text);

}  // namespace qv::test
