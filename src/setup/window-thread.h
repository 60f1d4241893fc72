#pragma once
// What the thread of a setup window needs before its first window: awareness
// of the monitor's DPI (the layout is scaled by hand, so the system must not
// stretch the window's bitmap) and a single-threaded COM apartment (the shell
// dialogs and the shortcut reader need one).

#include <windows.h>
#include <objbase.h>

namespace qv::setup {

class WindowThread {
 public:
  WindowThread() noexcept {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    com_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;
  ~WindowThread() {
    if (SUCCEEDED(com_)) ::CoUninitialize();
  }

 private:
  HRESULT com_ = E_FAIL;
};

}  // namespace qv::setup
