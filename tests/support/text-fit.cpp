#include "support/text-fit.h"

#include "foundation/text/text.h"

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

TextBoxLayout LayOutInTextBox(HWND box, const std::wstring& text, const ShowText& show) {
  wchar_t class_name[16] = {};
  ::GetClassNameW(box, class_name, 16);
  if (::lstrcmpiW(class_name, L"EDIT") != 0 || (::GetWindowLongPtrW(box, GWL_STYLE) & ES_MULTILINE) == 0) return {};
  const ShowText put = show ? show : [box](const std::wstring& shown) { ::SetWindowTextW(box, shown.c_str()); };

  const int length = ::GetWindowTextLengthW(box);
  std::wstring previous(static_cast<std::size_t>(length) + 1, L'\0');
  previous.resize(static_cast<std::size_t>(::GetWindowTextW(box, previous.data(), length + 1)));
  put(text);
  const LONG_PTR style = ::GetWindowLongPtrW(box, GWL_STYLE);

  RECT format{};
  ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  HDC dc = ::GetDC(box);
  HGDIOBJ old_font = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(box, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old_font);
  ::ReleaseDC(box, dc);
  const int line_height = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
  const int visible = (format.bottom - format.top) / line_height;
  const int lines = static_cast<int>(::SendMessageW(box, EM_GETLINECOUNT, 0, 0));

  TextBoxLayout layout;
  layout.fits = lines <= visible;
  ::SendMessageW(box, WM_VSCROLL, SB_BOTTOM, 0);
  const int first = static_cast<int>(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
  layout.end_reachable = (style & WS_VSCROLL) != 0 && first + visible >= lines;
  ::SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
  put(previous);
  return layout;
}

bool TextBoxHolds(HWND box, const std::wstring& text, const ShowText& show) {
  return LayOutInTextBox(box, text, show).fits;
}

bool TextBoxReadable(HWND box, const std::wstring& text, const ShowText& show) {
  const TextBoxLayout layout = LayOutInTextBox(box, text, show);
  return layout.fits || layout.end_reachable;
}

std::string Narrow(const std::wstring& text) { return qv::setup::WideToUtf8(text); }

}  // namespace qv::test
