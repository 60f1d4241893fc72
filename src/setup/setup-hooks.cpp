#include "setup/setup-hooks.h"

#include <memory>

#include "foundation/hooks.h"
#include "foundation/progress-report.h"
#include "foundation/setup-window-state.h"
#include "foundation/text/text.h"

namespace qv::setup {

void PostStatusText(const std::wstring& line) {
  HWND window = SetupWindow.window.load();
  if (window == nullptr) return;
  auto text = std::make_unique<std::wstring>(line);
  if (::PostMessageW(window, kSetupStatusLineMessage, 0, reinterpret_cast<LPARAM>(text.get()))) {
    text.release();  // the window frees it
  }
}

void ForwardLogLine(const std::string& line) { PostStatusText(Utf8ToWide(line)); }

bool IsSetupCancelled() { return SetupCancelFlag.load(); }

void AssignSetupHooks() {
  LogLineHook = ForwardLogLine;
  CancelHook = IsSetupCancelled;
  ProgressHook = ReportProgress;
}

}  // namespace qv::setup
