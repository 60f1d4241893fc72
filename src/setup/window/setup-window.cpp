#include "setup/window/setup-window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "foundation/setup-window-state.h"
#include "foundation/text/text.h"
#include "foundation/win/known-folder.h"
#include "setup/product-names.h"
#include "update/build-identity.h"

namespace qv::setup {
namespace {

// Longest path the pickers hand back: the long-path limit of the wide API.
constexpr DWORD kPathBufferLength = 32768;
constexpr UINT kMarqueeIntervalMs = 30;
// One above the largest permille: the bar is full only at the very end.
constexpr int kProgressRangeEnd = 1001;

HFONT CreateSetupFont(int height, float scale) {
  return ::CreateFontW(ScaleLength(height, scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, kSetupFontFace);
}

void RegisterSetupWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = SetupWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kSetupWindowClass;
  // A second window in one process (the tests) finds the class registered already.
  ::RegisterClassExW(&window_class);
}

HWND CreateControl(HINSTANCE instance, HWND parent, const ControlSpec& control, float scale, HFONT font) {
  const RECT rect = ScaledControlRect(control, scale);
  HWND child = ::CreateWindowExW(TakesClientEdge(control) ? WS_EX_CLIENTEDGE : 0, control.class_name,
                                 control.text.c_str(), control.style | WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
  if (child != nullptr) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return child;
}

// Whether the text box's lines are more than its formatting rectangle shows.
bool StatusOverflows(HWND box) {
  RECT format{};
  ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  HDC dc = ::GetDC(box);
  HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(box, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, previous);
  ::ReleaseDC(box, dc);
  const LONG line_height = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
  const LRESULT lines = ::SendMessageW(box, EM_GETLINECOUNT, 0, 0);
  return lines > (format.bottom - format.top) / line_height;
}

}  // namespace

SetupWindowUi SetupUi;

HWND SetupControlHandle(SetupControl control) { return SetupUi.controls[static_cast<std::size_t>(control)]; }

std::optional<std::filesystem::path> PickPackageFile(HWND owner) {
  std::vector<wchar_t> buffer(kPathBufferLength, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kPackageFilter;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = kPathBufferLength;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
  return std::filesystem::path(buffer.data());
}

std::optional<std::filesystem::path> PickFolder(HWND owner, const wchar_t* title) {
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  UniqueCoTaskMemory<PIDLIST_ABSOLUTE> chosen(::SHBrowseForFolderW(&browse));
  if (!chosen) return std::nullopt;
  std::vector<wchar_t> buffer(kPathBufferLength, L'\0');
  if (!::SHGetPathFromIDListEx(chosen.get(), buffer.data(), kPathBufferLength, GPFIDL_DEFAULT)) return std::nullopt;
  return std::filesystem::path(buffer.data());
}

std::filesystem::path DefaultInstallFolder(const std::filesystem::path& shortcut_install) {
  if (!shortcut_install.empty()) return shortcut_install;
  const std::optional<std::filesystem::path> local = KnownFolderPath(FOLDERID_LocalAppData);
  if (!local) return {};
  return *local / L"Programs" / std::wstring(kDisplayName);
}

HWND CreateSetupWindow(HINSTANCE instance, SetupWindowHooks hooks, const std::filesystem::path& default_folder) {
  SetupUi.hooks = std::move(hooks);
  SetupUi.scale = static_cast<float>(::GetDpiForSystem()) / 96.0f;
  SetupUi.font.reset(CreateSetupFont(kSetupFontHeight, SetupUi.scale));
  SetupUi.status_text = kInitialStatusText;
  SetupUi.percent = -1;
  SetupUi.marquee = false;
  SetupUi.running = false;
  SetupUi.controls.fill(nullptr);

  INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&common);
  RegisterSetupWindowClass(instance);

  const SIZE client = SetupClientSize(SetupUi.scale);
  RECT frame{0, 0, client.cx, client.cy};
  ::AdjustWindowRect(&frame, kSetupWindowStyle, FALSE);
  HWND window = ::CreateWindowExW(0, kSetupWindowClass, kSetupWindowTitle, kSetupWindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  instance, nullptr);
  if (window == nullptr) {
    SetupUi.font.reset();
    return nullptr;
  }
  SetupWindow.window = window;

  const SetupControlTable table = MakeSetupControlTable(Utf8ToWide(qv::update::CurrentVersion()), default_folder.native());
  for (std::size_t i = 0; i < table.size(); ++i) {
    SetupUi.controls[i] = CreateControl(instance, window, table[i], SetupUi.scale, SetupUi.font.get());
    if (i == static_cast<std::size_t>(SetupControl::kHeading)) {
      SetupUi.heading_font.reset(CreateSetupFont(kHeadingFontHeight, SetupUi.scale));
      ::SendMessageW(SetupUi.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(SetupUi.heading_font.get()), TRUE);
    }
    if (i == static_cast<std::size_t>(SetupControl::kShortcutBox)) {
      ::SendMessageW(SetupUi.controls[i], BM_SETCHECK, BST_CHECKED, 0);
    }
  }
  return window;
}

void ReleaseSetupWindow() {
  if (HWND window = SetupWindow.window.load(); window != nullptr && ::IsWindow(window)) ::DestroyWindow(window);
  SetupWindow.window = nullptr;
  if (SetupUi.worker.joinable()) SetupUi.worker.join();
  SetupUi.controls.fill(nullptr);
  SetupUi.heading_font.reset();
  SetupUi.font.reset();
}

std::wstring GetControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void SetProgressMarquee(bool on) {
  HWND bar = SetupControlHandle(SetupControl::kProgressBar);
  const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
  SetupUi.marquee = on;
  if (on) {
    ::SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
    ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    return;
  }
  ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
  ::SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  ::SendMessageW(bar, PBM_SETRANGE32, 0, kProgressRangeEnd);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void SetProgressPosition(int permille) {
  if (SetupUi.marquee) SetProgressMarquee(false);
  HWND bar = SetupControlHandle(SetupControl::kProgressBar);
  // One step past and back: the bar jumps to the value instead of animating
  // towards it and lagging behind the text.
  ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(permille + 1), 0);
  ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
}

void UpdateStatusLabel() {
  std::wstring text = SetupUi.status_text;
  if (SetupUi.percent >= 0) text += L" " + std::to_wstring(SetupUi.percent) + L"%";
  HWND status = SetupControlHandle(SetupControl::kStatusLabel);
  ::SetWindowTextW(status, WithEditLineEnds(text).c_str());
  // The scroll bar only for a text longer than the box: a box with a scroll
  // bar redraws it at every change, and the progress changes the text up to
  // a thousand times in a run; without it the box looks like the label.
  ::ShowScrollBar(status, SB_VERT, StatusOverflows(status) ? TRUE : FALSE);
}

std::wstring WithEditLineEnds(std::wstring_view text) {
  // An edit box breaks lines only at CR LF; the helper's log may end its
  // lines with LF alone, or CR alone.
  std::wstring shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;  // the LF writes CR LF
    if (c == L'\r' || c == L'\n') {
      shown += L"\r\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

void StoreAtomicInt(std::atomic<int>& target, int value) { target.exchange(value); }

}  // namespace qv::setup
