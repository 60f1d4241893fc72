#pragma once
// Finds and reads the windows a test drives from another thread or process, as
// a user would see them: the dialog's title, its texts and its buttons.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace qv::test {

// Waits up to `timeout_ms` for a visible top-level window of the given class
// ("#32770" for dialogs) that belongs to the process and, unless
// `needs_button` is false, already holds a button (a dialog is complete only
// then); null when none appears in time.
HWND WaitForTopLevelWindow(DWORD process_id, const wchar_t* class_name, DWORD timeout_ms, bool needs_button = true);

struct WindowSnapshot {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::wstring title;
  LONG_PTR extended_style = 0;
  std::vector<std::wstring> static_texts;  // texts of the STATIC children, in child order
  std::map<int, std::wstring> buttons;     // BUTTON children: control id -> text
};

// Reads the window and its direct and nested children.
WindowSnapshot ReadWindow(HWND window);

// True when one of the STATIC texts equals `text`.
bool HasStaticText(const WindowSnapshot& snapshot, const std::wstring& text);

}  // namespace qv::test
