#include "support/window-probe.h"

#include <algorithm>

namespace qv::test {
namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::wstring TextOf(HWND window) {
  // WM_GETTEXT through GetWindowTextW also reaches windows of other threads.
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

bool IsClass(HWND window, const wchar_t* class_name) { return ::lstrcmpiW(ClassOf(window).c_str(), class_name) == 0; }

bool HoldsButton(HWND window) {
  bool found = false;
  ::EnumChildWindows(
      window,
      [](HWND child, LPARAM found) -> BOOL {
        if (!IsClass(child, L"Button")) return TRUE;
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

struct Search {
  DWORD process_id;
  const wchar_t* class_name;
  bool needs_button;
  HWND found;
};

}  // namespace

HWND WaitForTopLevelWindow(DWORD process_id, const wchar_t* class_name, DWORD timeout_ms, bool needs_button) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    Search search{process_id, class_name, needs_button, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
          auto& search = *reinterpret_cast<Search*>(context);
          DWORD owner_process = 0;
          ::GetWindowThreadProcessId(window, &owner_process);
          if (owner_process != search.process_id || !::IsWindowVisible(window)) return TRUE;
          if (!IsClass(window, search.class_name) || (search.needs_button && !HoldsButton(window))) return TRUE;
          search.found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (::GetTickCount64() >= deadline) return nullptr;
    ::Sleep(20);
  }
}

WindowSnapshot ReadWindow(HWND window) {
  WindowSnapshot snapshot;
  snapshot.window = window;
  snapshot.owner = ::GetWindow(window, GW_OWNER);
  snapshot.title = TextOf(window);
  snapshot.extended_style = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
  ::EnumChildWindows(
      window,
      [](HWND child, LPARAM context) -> BOOL {
        auto& snapshot = *reinterpret_cast<WindowSnapshot*>(context);
        if (IsClass(child, L"Static")) {
          snapshot.static_texts.push_back(TextOf(child));
        } else if (IsClass(child, L"Button")) {
          snapshot.buttons[::GetDlgCtrlID(child)] = TextOf(child);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&snapshot));
  return snapshot;
}

bool HasStaticText(const WindowSnapshot& snapshot, const std::wstring& text) {
  return std::find(snapshot.static_texts.begin(), snapshot.static_texts.end(), text) != snapshot.static_texts.end();
}

}  // namespace qv::test
