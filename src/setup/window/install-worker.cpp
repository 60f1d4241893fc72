#include "setup/window/install-worker.h"

#include <windows.h>

#include <exception>
#include <memory>

#include "foundation/logger.h"
#include "foundation/setup-window-state.h"
#include "foundation/text/error-text.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

void PostFinished(bool ok, std::wstring text) {
  auto heap_text = std::make_unique<std::wstring>(std::move(text));
  HWND window = SetupWindow.window.load();
  if (window != nullptr &&
      ::PostMessageW(window, kSetupFinishedMessage, ok ? 1 : 0, reinterpret_cast<LPARAM>(heap_text.get()))) {
    heap_text.release();  // the window frees it
    return;
  }
  // Nobody will ever read it: the window is gone (or its queue is full).
  Log(LogLevel::kWarn, "the install finished, but the setup window could not be told");
}

}  // namespace

void RunInstallJob(const InstallJob& job, const InstallJobRunner& runner) {
  bool ok = false;
  std::wstring text;
  try {
    text = runner(job);
    ok = true;
  } catch (const std::exception& error) {
    text = Utf8ToWide(UserErrorText(error));
  } catch (...) {
    // A failure of an unexpected kind must not end the process with the
    // window still waiting for the worker: it is reported like any other.
    text = kInstallFailedText;
  }
  if (!ok && text.empty()) text = kInstallFailedText;
  PostFinished(ok, std::move(text));
}

std::thread StartInstallWorker(InstallJob&& job, InstallJobRunner runner) {
  // The job moves onto the heap first, so that the thread owns it from its
  // first instruction and the window's copy can be reused at once.
  auto owned = std::make_unique<InstallJob>(std::move(job));
  return std::thread([owned = std::move(owned), runner = std::move(runner)] { RunInstallJob(*owned, runner); });
}

}  // namespace qv::setup
