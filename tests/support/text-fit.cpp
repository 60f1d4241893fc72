#include "support/text-fit.h"

#include "foundation/text.h"

namespace qv::test {
namespace {

// What a push button keeps free on each side of its text: its frame and the
// focus rectangle inside it.
int ButtonMargin() { return ::GetSystemMetrics(SM_CXEDGE) + 2; }

}  // namespace

RECT ClientRect(HWND control) {
  RECT rect{};
  ::GetClientRect(control, &rect);
  return rect;
}

SIZE MeasureText(HWND control, const std::wstring& text, UINT format, int width) {
  HDC dc = ::GetDC(control);
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ previous = ::SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
  RECT rect{0, 0, width, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_CALCRECT);
  ::SelectObject(dc, previous);
  ::ReleaseDC(control, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

bool LabelHolds(HWND control, const std::wstring& text) {
  const RECT client = ClientRect(control);
  const SIZE needed = MeasureText(control, text, DT_WORDBREAK | DT_EXPANDTABS, client.right);
  return needed.cx <= client.right && needed.cy <= client.bottom;
}

bool ButtonHolds(HWND control, const std::wstring& text) {
  const RECT client = ClientRect(control);
  const SIZE needed = MeasureText(control, text, DT_SINGLELINE, client.right);
  return needed.cx + 2 * ButtonMargin() <= client.right && needed.cy <= client.bottom;
}

bool CheckBoxHolds(HWND control, const std::wstring& text) {
  const RECT client = ClientRect(control);
  const SIZE needed = MeasureText(control, text, DT_SINGLELINE, client.right);
  const int box = ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
  return box + needed.cx <= client.right && needed.cy <= client.bottom;
}

std::string Narrow(const std::wstring& text) { return qv::setup::WideToUtf8(text); }

}  // namespace qv::test
