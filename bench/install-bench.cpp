// "--install" of a whole release, run as a user would: the setup file that
// tools/bench.sh makes (about 256 MiB of port files, bench/make-install-release.py)
// installs a dumped game into a fresh folder, and this program watches it.
//
// Reported per run and as the best of them: the rate over the payload's
// unpacked bytes for the whole run (start of the process to its end) and for
// its extraction phase (from the first payload file in the staging folder to
// the end), and the setup's private memory: at the start of extraction, its
// growth during extraction (the payload is read in place from the mapped
// program, so this stays small whatever the payload's size), and its peak
// over the whole run (the check of the setup file's own digest reads the file
// a piece at a time, so the peak does not grow with the file either).
//
// The setup file comes from the environment variable QV_BENCH_SETUP (a Windows
// path); tools/bench.sh sets it. Option: --runs N (default 3).

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "foundation/files/tree-walk.h"
#include "foundation/payload/package-view.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/command-line.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"

#include "bench.h"

namespace {

using namespace qv::setup;
using Clock = std::chrono::steady_clock;

// The process's committed private memory (Wine leaves PrivateUsage at 0).
std::uint64_t PrivateBytesOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(process, &counters, sizeof(counters))) return 0;
  return counters.PagefileUsage;
}

// True once the staging folder beside the destination holds the payload's
// first file (the runtimes sort first).
bool ExtractionStarted(const std::filesystem::path& games) {
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((games / L".qv-install-*").c_str(), &data));
  if (!find) return false;
  return ::GetFileAttributesW((games / data.cFileName / L"amd_fidelityfx_vk.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct RunFigures {
  double seconds = 0;
  double extraction_seconds = 0;
  std::uint64_t private_at_extraction = 0;
  std::uint64_t growth_during_extraction = 0;
  std::uint64_t peak = 0;
};

RunFigures InstallOnce(const std::filesystem::path& setup, const std::filesystem::path& folder) {
  const std::filesystem::path games = folder / L"games";
  RemoveTree(games);
  std::filesystem::create_directories(games);
  const std::filesystem::path result = folder / L"result.txt";
  std::wstring command = JoinCommandLine({setup.native(), L"--install", (folder / L"dump" / L"CUSA09901").native(),
                                          (games / L"QV").native(), result.native()});
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const Clock::time_point start = Clock::now();
  if (!::CreateProcessW(setup.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    throw std::runtime_error("cannot start the setup: error " + std::to_string(::GetLastError()));
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);

  RunFigures figures;
  Clock::time_point extraction_start{};
  bool extracting = false;
  while (::WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT) {
    const std::uint64_t bytes = PrivateBytesOf(process.get());
    figures.peak = std::max(figures.peak, bytes);
    if (!extracting && ExtractionStarted(games)) {
      extracting = true;
      extraction_start = Clock::now();
      figures.private_at_extraction = bytes;
    }
    if (extracting && bytes > figures.private_at_extraction) {
      figures.growth_during_extraction = std::max(figures.growth_during_extraction, bytes - figures.private_at_extraction);
    }
  }
  const Clock::time_point end = Clock::now();
  DWORD exit_code = 1;
  ::GetExitCodeProcess(process.get(), &exit_code);
  const std::string text = ReadFileText(result);
  if (exit_code != 0 || text.rfind("PASS installed", 0) != 0) {
    throw std::runtime_error("the install failed (exit code " + std::to_string(exit_code) + "): " + text);
  }
  if (!extracting) throw std::runtime_error("the extraction was never seen");
  figures.seconds = std::chrono::duration<double>(end - start).count();
  figures.extraction_seconds = std::chrono::duration<double>(end - extraction_start).count();
  return figures;
}

double Rate(std::uint64_t bytes, double seconds) { return bytes / 1e6 / seconds; }
double Mib(std::uint64_t bytes) { return bytes / 1048576.0; }

void Run(int runs) {
  const std::string setup_text = GetEnvUtf8("QV_BENCH_SETUP");
  if (setup_text.empty()) throw std::runtime_error("QV_BENCH_SETUP names no setup file (run tools/bench.sh install)");
  const std::filesystem::path setup = PathFromUtf8(setup_text);

  std::uint64_t unpacked = 0;
  std::size_t entries = 0;
  {
    win_updater::PackageView view;
    auto [data, size] = OpenPackageView(view, setup);
    unpacked = PayloadTotalSize(data, size);
    entries = ReadPayloadIndex(data, size).size();
  }
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  const std::filesystem::path folder =
      std::filesystem::path(std::wstring(temp, length)) / (L"qv-bench-install-" + std::to_wstring(::GetCurrentProcessId()));
  WriteDumpedGame(folder / L"dump" / L"CUSA09901");
  std::printf("Installing %s: %zu payload files, %.1f MiB unpacked, setup file %.1f MiB\n", setup_text.c_str(),
              entries, Mib(unpacked), Mib(std::filesystem::file_size(setup)));
  std::fflush(stdout);

  RunFigures best;
  best.seconds = 1e100;
  for (int run = 0; run < runs; ++run) {
    const RunFigures figures = InstallOnce(setup, folder);
    std::printf("  run %d: %.2f s, %.0f MB/s; extraction %.2f s, %.0f MB/s; private memory %.1f MiB at extraction, "
                "+%.1f MiB during it, peak %.1f MiB\n",
                run + 1, figures.seconds, Rate(unpacked, figures.seconds), figures.extraction_seconds,
                Rate(unpacked, figures.extraction_seconds), Mib(figures.private_at_extraction),
                Mib(figures.growth_during_extraction), Mib(figures.peak));
    std::fflush(stdout);
    if (figures.seconds < best.seconds) best = figures;
  }
  RemoveTree(folder);

  std::printf("\n\"--install\" of %.1f MiB (MB = 10^6 bytes; fastest of %d runs)\n", Mib(unpacked), runs);
  std::printf("Whole run:                      %7.0f MB/s (%.2f s)\n", Rate(unpacked, best.seconds), best.seconds);
  std::printf("Extraction phase:               %7.0f MB/s (%.2f s)\n", Rate(unpacked, best.extraction_seconds),
              best.extraction_seconds);
  std::printf("Private memory during extraction: +%.1f MiB above the %.1f MiB at its start\n",
              Mib(best.growth_during_extraction), Mib(best.private_at_extraction));
  std::printf("Private memory peak of the run:    %.1f MiB\n",
              Mib(best.peak));
}

}  // namespace

QV_BENCH(install) {
  try {
    Run(static_cast<int>(qv::bench::OptionValue("runs", 3)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "install bench failed: %s\n", e.what());
  }
}
