#include "setup/install/package-extraction.h"

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "engine/records/install-notes.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/text/command-line.h"
#include "foundation/text/text.h"
#include "foundation/win/run-process.h"
#include "foundation/win/unique-handle.h"
#include "gamesource/known-titles.h"
#include "setup/folder-size.h"

namespace qv::setup {
namespace {

constexpr DWORD kPollMs = 100;
constexpr DWORD kReleasePollMs = 20;
constexpr std::size_t kLogExcerpt = 600;

// The log's first 600 characters for the failure message, read as text (line
// ends as "\n") and cut only between whole UTF-8 characters. An unreadable
// log reads as empty.
std::string LogExcerpt(const std::filesystem::path& log) {
  std::string text;
  ScanFilePieces(log, 8 * kLogExcerpt, [&text](std::string_view piece) {
    text.append(piece);
    return true;
  });
  std::string excerpt;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (!continuation && characters++ == kLogExcerpt) break;
    excerpt.push_back(text[i]);
  }
  return excerpt;
}

// A job that ends every process in it once its last handle closes: the
// helper and whatever it started (its console host, which holds the helper's
// log open for as long as it lives). Null when the system gives none.
UniqueHandle MakeHelperJob() {
  UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) job.reset();
  return job;
}

// Waits for the helper in 100 ms steps, raising the progress by what the
// title folder holds so far. A cancel request terminates it and everything
// it started.
void WaitForHelper(HANDLE process, HANDLE job, const std::filesystem::path& output) {
  const std::uint64_t start = ProgressCounters.done;
  while (::WaitForSingleObject(process, kPollMs) == WAIT_TIMEOUT) {
    if (IsCancelRequested()) {
      if (job == nullptr || !::TerminateJobObject(job, 1)) ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, kHelperEndWaitMs);
      return;
    }
    RaiseProgressTo(start + FolderSize(output));
  }
}

// Waits (boundedly) until nothing holds the helper's log open any more. The
// helper's output handles may outlive the helper for a moment in processes it
// handed them to (a console host, a child of its own); until they let go,
// neither the log nor the work folder could be removed by the engine.
void WaitForLogRelease(const std::filesystem::path& log) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHelperEndWaitMs);
  for (;;) {
    UniqueFile alone(::CreateFileW(ApiPath(log).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (alone || ::GetLastError() != ERROR_SHARING_VIOLATION) return;
    if (std::chrono::steady_clock::now() >= deadline) return;
    ::Sleep(kReleasePollMs);
  }
}

}  // namespace

void ExtractPkg(const std::filesystem::path& work, const std::filesystem::path& package) {
  const std::filesystem::path helper = work / std::wstring(kExtractionHelperPath);
  const std::filesystem::path output = work / PathFromUtf8(DefaultTitleId);
  const std::filesystem::path absolute_package = NormalAbsolutePath(package);
  std::wstring command_line = QuoteArg(helper.native()) + L" " + QuoteArg(absolute_package.native()) + L" " +
                              QuoteArg(output.native());

  const std::filesystem::path log_path = work / std::wstring(kExtractionLogName);
  UniqueFile log = CreateChildLog(log_path, CREATE_NEW);
  if (!log) throw std::runtime_error("Could not create extraction log.");
  UniqueHandle job = MakeHelperJob();
  UniqueHandle process =
      StartLoggedChild(helper, std::move(command_line), work, log.get(), CREATE_NO_WINDOW, job.get());
  log.reset();  // the helper holds its own copy as long as it runs
  if (!process) throw std::runtime_error("Could not start the PKG extraction helper.");

  WaitForHelper(process.get(), job.get(), output);
  DWORD exit_code = 1;
  if (!::GetExitCodeProcess(process.get(), &exit_code)) exit_code = 1;
  process.reset();
  job.reset();  // ends what the helper left running
  WaitForLogRelease(log_path);

  if (IsCancelRequested()) throw std::runtime_error(kCancelledMessage);
  if (exit_code != 0) throw std::runtime_error("PKG extraction failed. " + LogExcerpt(log_path));
}

}  // namespace qv::setup
