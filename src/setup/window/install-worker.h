#pragma once
// The one thread on which the setup window's installation runs. The window
// hands it a job and goes back to its message loop; the worker runs the
// install, turns its result or its failure into one text for the user and
// posts that to the window as the "install finished" message. Status lines and
// progress travel through the process-wide hooks, not through the worker.

#include <functional>
#include <string>
#include <thread>

namespace qv::setup {

struct InstallJob {
  std::wstring source;       // the source box: a package file or a game folder
  std::wstring destination;  // the folder box
  bool createShortcut = true;
};

// Runs the job and returns the text shown on success; a failure is an
// exception whose text is shown instead.
using InstallJobRunner = std::function<std::wstring(const InstallJob& job)>;

// The text shown when a failure carries no text of its own.
inline constexpr const wchar_t* kInstallFailedText = L"Installation failed.";

// Starts the worker on the job. Raises std::system_error when the thread
// cannot be created (the job is dropped then).
std::thread StartInstallWorker(InstallJob&& job, InstallJobRunner runner);

// The worker's body: runs the job and posts kSetupFinishedMessage (wParam 1
// with the runner's text, or 0 with the failure's text) to the setup window.
// Never raises; a text that cannot be posted is freed here.
void RunInstallJob(const InstallJob& job, const InstallJobRunner& runner);

}  // namespace qv::setup
