// Range downloads of changed files against the project's HTTPS test server,
// beside a download of the whole setup file in the same run.
//
// A release of about 256 MiB in 1,000 files of mixed compressibility (a
// stand-in program, then its payload archive) is served by the test server
// that tools/bench.sh starts around this program, as the network tests do.
// For k = 1, 10 and 100 changed files at random places the update's own
// listed extraction (ObtainChangedFiles on the parts path) fetches them, and
// the figures are:
//   - bytes received over the changed files' packed bytes, and the same
//     without the gap bytes that joined groups carry between their streams;
//   - range requests made over the groups the join rule forms;
//   - MB/s received and MB/s of unpacked files written;
//   - what the request log shows: single ranges answered 206, never a
//     request without Range.
// Then the whole setup file once (DownloadWholePackage) for its MB/s, and the
// same k = 10 fetch against a server that ignores Range: the log then shows
// the range answered whole and one request for the whole file.
//
// Options: --mib N (release size, default 256), --files N (default 1000),
//          --seed N (which files change; default 1).
// Run alone with tools/bench.sh range.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/tree-walk.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-archive.h"
#include "selftest/fixtures/test-payload.h"
#include "support/scoped-environment.h"
#include "support/test-server.h"
#include "update/download/changed-files.h"
#include "update/download/range-groups.h"
#include "update/download/update-run.h"
#include "update/download/whole-package.h"

#include "bench.h"
#include "release-content.h"

namespace {

using namespace qv::setup;
using qv::update::FileEntry;

constexpr const char* kServedName = "bench-release.exe";

// The release as served: the setup file's bytes, its payload archive and
// every file's stream in it.
struct BenchRelease {
  std::string setup;
  std::string archive;
  std::vector<FileEntry> files;
  std::uint64_t unpacked = 0;
};

BenchRelease MakeRelease(std::uint64_t mib, int count, const std::filesystem::path& scratch) {
  BenchRelease release;
  const FixtureFiles files = qv::bench::MixedReleaseFiles(mib, count);
  for (const auto& file : files) release.unpacked += file.second.size();
  release.archive = BuildTestPayload(scratch, files, HashFile);
  // The payload sits behind a program, as in a real setup file: no stream
  // starts at 0.
  release.setup = qv::bench::ProgramLikeBytes(4u << 20, 0x5EED);
  release.files = qv::bench::PayloadStreams(release.archive, release.setup.size());
  release.setup += release.archive;
  return release;
}

// The run record of one update against the served release.
struct BenchRun {
  BenchRun(const BenchRelease& release, const std::string& query, const std::filesystem::path& folder)
      : run(platform, result) {
    platform.run_id = "{bench}";
    platform.hash_file = HashFile;
    platform.open_package = [&release](const std::filesystem::path&) {
      // The downloaded file is checked against the package's digest first;
      // its payload is the archive this program built.
      return PackagePayload(reinterpret_cast<const std::uint8_t*>(release.archive.data()), release.archive.size());
    };
    run.release.package_url = qv::test::TestHttpsUrl(std::string("/files/") + kServedName + "?" + query);
    run.release.package_size = release.setup.size();
    run.package = {kServedName, release.setup.size(), ""};
    run.files = release.files;
    run.game_folder = folder / L"game" / L"QV";
    run.download_folder = DownloadFolderFor(run.game_folder, platform.run_id);
    run.parts = true;
    result.parts = true;
  }
  GameUpdatePlatform platform;
  GameUpdateResult result;
  UpdateRun run;
};

std::vector<qv::test::LoggedRequest> LogOf(const std::string& query) {
  const std::string path = std::string("/files/") + kServedName + "?" + query;
  std::vector<qv::test::LoggedRequest> lines;
  for (const qv::test::LoggedRequest& line : qv::test::TestServerLog()) {
    if (line.path == path) lines.push_back(line);
  }
  return lines;
}

double MegabytesPerSecond(std::uint64_t bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }

// k files at random places, in manifest order.
std::vector<FileEntry> ChooseChanged(const std::vector<FileEntry>& files, std::size_t k, std::mt19937_64& random) {
  std::set<std::size_t> picked;
  while (picked.size() < std::min(k, files.size())) picked.insert(random() % files.size());
  std::vector<FileEntry> chosen;
  for (std::size_t index : picked) chosen.push_back(files[index]);
  return chosen;
}

std::vector<PayloadEntry> WantedOf(const std::vector<FileEntry>& chosen) {
  std::vector<PayloadEntry> wanted;
  for (const FileEntry& file : chosen) wanted.push_back({file.path, file.size, file.sha256});
  return wanted;
}

struct LogSummary {
  std::size_t requests = 0;
  std::size_t partial = 0;        // 206 answers
  std::size_t without_range = 0;  // asked for the whole file
  std::size_t multi_range = 0;    // a Range header naming more than one range
  std::size_t whole_answers = 0;  // 200 answers
};

LogSummary Summarise(const std::vector<qv::test::LoggedRequest>& log) {
  LogSummary summary;
  for (const qv::test::LoggedRequest& line : log) {
    ++summary.requests;
    if (line.status == "206") ++summary.partial;
    if (line.status == "200") ++summary.whole_answers;
    if (line.range == "-") ++summary.without_range;
    if (line.range.find(',') != std::string::npos) ++summary.multi_range;
  }
  return summary;
}

void PrintLog(const LogSummary& log) {
  std::printf("      request log: %zu requests, %zu answered 206, %zu answered 200 (whole file), %zu without Range, "
              "%zu multi-range\n",
              log.requests, log.partial, log.whole_answers, log.without_range, log.multi_range);
}

void RangeRound(const BenchRelease& release, std::size_t k, std::mt19937_64& random,
                const std::filesystem::path& folder) {
  const std::vector<FileEntry> chosen = ChooseChanged(release.files, k, random);
  std::uint64_t packed = 0, unpacked = 0;
  std::vector<const FileEntry*> pointers;
  for (const FileEntry& file : chosen) {
    packed += file.packed;
    unpacked += file.size;
    pointers.push_back(&file);
  }
  const std::vector<RangeGroup> groups = PlanRangeGroups(pointers);
  std::uint64_t spanned = 0;
  for (const RangeGroup& group : groups) spanned += group.end - group.start;
  const std::uint64_t gaps = spanned - packed;

  const std::string query = "k=" + std::to_string(k);
  BenchRun bench(release, query, folder);
  const std::filesystem::path staging = folder / (L"staging-" + std::to_wstring(k));
  ResetProgress(unpacked);
  std::vector<InstalledFile> files;
  const double seconds = qv::bench::SecondsOf([&] { files = ObtainChangedFiles(bench.run, staging, WantedOf(chosen)); });
  if (files.size() != chosen.size() || !bench.run.parts) throw std::runtime_error("the range path did not finish");

  const std::uint64_t received = bench.result.bytes_downloaded;
  std::printf("  k = %3zu: %zu groups, %d requests (goal: no more than the groups)\n", k, groups.size(),
              bench.result.requests);
  std::printf("      %llu bytes received for %llu packed bytes: %.4f (%.4f without the %llu gap bytes of joined groups)\n",
              static_cast<unsigned long long>(received), static_cast<unsigned long long>(packed),
              static_cast<double>(received) / static_cast<double>(packed),
              static_cast<double>(received - std::min(received, gaps)) / static_cast<double>(packed),
              static_cast<unsigned long long>(gaps));
  std::printf("      %.2f s: %.2f MB/s received, %.2f MB/s of files written and checked\n", seconds,
              MegabytesPerSecond(received, seconds), MegabytesPerSecond(unpacked, seconds));
  PrintLog(Summarise(LogOf(query)));
  std::fflush(stdout);
  RemoveTree(staging);
}

void WholeRound(const BenchRelease& release, const std::filesystem::path& folder) {
  const std::string query = "whole=1";
  BenchRun bench(release, query, folder);
  ResetProgress(release.setup.size());
  const double seconds = qv::bench::SecondsOf([&] { DownloadWholePackage(bench.run); });
  std::printf("  whole setup file: %llu bytes in %.2f s: %.1f MB/s\n",
              static_cast<unsigned long long>(bench.result.bytes_downloaded), seconds,
              MegabytesPerSecond(bench.result.bytes_downloaded, seconds));
  PrintLog(Summarise(LogOf(query)));
  std::fflush(stdout);
  RemoveTree(bench.run.download_folder);
}

void RefusedRound(const BenchRelease& release, std::mt19937_64& random, const std::filesystem::path& folder) {
  const std::vector<FileEntry> chosen = ChooseChanged(release.files, 10, random);
  const std::string query = "ranges=ignore";
  BenchRun bench(release, query, folder);
  bench.run.package.sha256 = HashFile(qv::test::TestServerFile(kServedName));
  const std::filesystem::path staging = folder / L"staging-refused";
  ResetProgress(release.setup.size());
  std::vector<InstalledFile> files;
  const double seconds = qv::bench::SecondsOf([&] { files = ObtainChangedFiles(bench.run, staging, WantedOf(chosen)); });
  if (files.size() != chosen.size() || bench.run.parts) throw std::runtime_error("the whole-file path did not finish");
  std::printf("  k =  10, Range ignored by the server: %d requests, %llu bytes, %.2f s (whole file, checked, 10 files "
              "extracted)\n",
              bench.result.requests, static_cast<unsigned long long>(bench.result.bytes_downloaded), seconds);
  PrintLog(Summarise(LogOf(query)));
  std::fflush(stdout);
  RemoveTree(staging);
  RemoveTree(bench.run.download_folder);
}

std::filesystem::path BenchFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  return std::filesystem::path(std::wstring(temp, length)) /
         (L"qv-range-bench-" + std::to_wstring(::GetCurrentProcessId()));
}

void Run() {
  const wchar_t* server = _wgetenv(L"QV_TEST_SERVER_FOLDER");
  if (server == nullptr || *server == L'\0') {
    std::printf("range: needs the test server; run it with tools/bench.sh range\n");
    return;
  }
  if (qv::test::RunningTestServer() == nullptr || !qv::test::TrustTestRoot()) {
    throw std::runtime_error("the test server cannot be used");
  }
  // Test mode lets the downloads reach the local server.
  qv::test::UpdateTestMode test_mode;
  const auto mib = static_cast<std::uint64_t>(qv::bench::OptionValue("mib", 256));
  const int count = static_cast<int>(qv::bench::OptionValue("files", 1000));
  std::mt19937_64 random(static_cast<std::uint64_t>(qv::bench::OptionValue("seed", 1)));
  const std::filesystem::path folder = BenchFolder();
  RemoveTree(folder);

  std::printf("Range downloads: building a release of %llu MiB in %d files...\n",
              static_cast<unsigned long long>(mib), count);
  std::fflush(stdout);
  const BenchRelease release = MakeRelease(mib, count, folder / L"scratch");
  qv::test::PutTestServerFile(kServedName, release.setup);
  std::printf("  setup file %.1f MiB (payload %.1f MiB packed, %.1f MiB unpacked); MB = 10^6 bytes\n",
              release.setup.size() / 1048576.0, release.archive.size() / 1048576.0, release.unpacked / 1048576.0);
  std::printf("  (the signed manifest and trailer, which the update reads first, are not part of these figures)\n");
  std::fflush(stdout);

  for (std::size_t k : {1u, 10u, 100u}) RangeRound(release, k, random, folder);
  WholeRound(release, folder);
  RefusedRound(release, random, folder);
  RemoveTree(folder);
}

}  // namespace

QV_BENCH(range) {
  try {
    Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "range bench failed: %s\n", e.what());
  }
}
