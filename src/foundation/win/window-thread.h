#pragma once
// What the thread of a setup window needs before its first window: awareness
// of the monitor's DPI (the layout is scaled by hand, so the system must not
// stretch the window's bitmap) and a single-threaded COM apartment (the shell
// dialogs and the shortcut reader need one).

#include <windows.h>

#include "foundation/win/com-apartment.h"

namespace qv::setup {

// Per-monitor awareness is set before the apartment, so that every window of
// the thread is made at the true DPI.
inline bool MakeProcessDpiAware() noexcept {
  return ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) != FALSE;
}

class WindowThread {
 public:
  WindowThread() noexcept : dpi_aware_(MakeProcessDpiAware()) {}
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

 private:
  bool dpi_aware_;
  ComApartment apartment_;
};

}  // namespace qv::setup
