// Throughput of payload extraction and file hashing.
//
// Builds a payload of about 256 MiB in 1,000 files of mixed compressibility,
// sorted by name as the shipped payload is,
// then measures in one process:
//   - ExtractPayload into a fresh folder (inflate, write, HashFile of each file);
//   - the floor: inflating the same streams into memory and hashing the output
//     with SHA-256, no files at all;
//   - their ratio, and HashFile over the extracted files against CNG's
//     SHA-256 over the same contents in memory.
// It also watches the process's private memory during extraction, which must not
// grow with the size of the files. Run it with tools/bench.sh.
//
// Options: --mib N (payload size, default 256), --files N (default 1000),
//          --runs N (measurements of each kind, best one reported; default 3).
// Run alone with tools/bench.sh payload.

#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/crypto/cng-handles.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/tree-walk.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-archive.h"
#include "selftest/fixtures/test-payload.h"

#include "bench.h"
#include "release-content.h"

namespace {

using namespace qv::setup;
using Clock = std::chrono::steady_clock;

struct Options {
  std::uint64_t mib = 256;
  int files = 1000;
  int runs = 3;
};

std::filesystem::path BenchFolder() {
  wchar_t temp[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  return std::filesystem::path(std::wstring(temp, length)) / (L"qv-bench-" + std::to_wstring(::GetCurrentProcessId()));
}

// The process's committed private memory (Wine leaves PrivateUsage at 0).
std::uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double MegabytesPerSecond(std::uint64_t bytes, double seconds) { return bytes / 1e6 / seconds; }

// The floor: every stream inflated through one 1 MiB buffer, in input pieces of
// at most 64 MiB, and the output hashed with SHA-256 as it comes. Returns the
// number of entries whose digest matched.
int InflateAndHashInMemory(const std::string& archive) {
  const auto* data = reinterpret_cast<const unsigned char*>(archive.data());
  auto output = std::make_unique<unsigned char[]>(1 << 20);
  UniqueAlgorithmProvider algorithm;
  if (::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return -1;
  int matched = 0;
  for (const qv::update::FileEntry& entry : qv::bench::PayloadStreams(archive)) {
    const std::uint64_t packed = entry.packed;
    const char* stored = entry.sha256.c_str();
    const unsigned char* stream_data = data + entry.offset;

    UniqueHashObject hash;
    if (::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) != 0) return -1;
    z_stream stream{};
    inflateInit(&stream);
    std::uint64_t consumed = 0;
    int result = Z_OK;
    while (result == Z_OK) {
      if (stream.avail_in == 0 && consumed < packed) {
        std::uint64_t piece = std::min<std::uint64_t>(packed - consumed, 64ull << 20);
        stream.next_in = const_cast<Bytef*>(stream_data + consumed);
        stream.avail_in = static_cast<uInt>(piece);
        consumed += piece;
      }
      stream.next_out = output.get();
      stream.avail_out = 1 << 20;
      result = inflate(&stream, Z_NO_FLUSH);
      ::BCryptHashData(hash.get(), output.get(), (1 << 20) - stream.avail_out, 0);
    }
    inflateEnd(&stream);
    unsigned char digest[32];
    ::BCryptFinishHash(hash.get(), digest, 32, 0);
    char text[65];
    for (int b = 0; b < 32; ++b) std::snprintf(text + 2 * b, 3, "%02x", digest[b]);
    if (result == Z_STREAM_END && std::memcmp(text, stored, 64) == 0) ++matched;
  }
  return matched;
}

// CNG's SHA-256 over contents already in memory, fed in 1 MiB pieces with one
// provider for all: what HashFile could reach if reading cost nothing.
bool Sha256InMemory(const std::vector<std::string>& contents) {
  UniqueAlgorithmProvider algorithm;
  if (::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return false;
  for (const std::string& content : contents) {
    UniqueHashObject hash;
    if (::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) != 0) return false;
    for (std::size_t at = 0; at < content.size(); at += 1 << 20) {
      const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(content.size() - at, 1 << 20));
      auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(content.data() + at));
      if (::BCryptHashData(hash.get(), bytes, piece, 0) != 0) return false;
    }
    unsigned char digest[32];
    if (::BCryptFinishHash(hash.get(), digest, 32, 0) != 0) return false;
  }
  return true;
}

int Run(const Options& options) {
  const std::filesystem::path folder = BenchFolder();
  RemoveTree(folder);

  std::printf("Building a payload of %llu MiB in %d files...\n", static_cast<unsigned long long>(options.mib),
              options.files);
  std::fflush(stdout);
  std::uint64_t unpacked = 0;
  std::string archive;
  {
    FixtureFiles files = qv::bench::MixedReleaseFiles(options.mib, options.files);
    // In ascending byte order of their names, as the release build packs the
    // shipped payload: runs of entries share a status label.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& file : files) unpacked += file.second.size();
    Clock::time_point start = Clock::now();
    archive = BuildTestPayload(folder / L"scratch", files, HashFile);
    std::uint64_t largest = 0;
    for (const auto& file : files) largest = std::max<std::uint64_t>(largest, file.second.size());
    std::printf("  built in %.1f s: %.1f MiB unpacked, %.1f MiB packed (%.0f%%), largest file %.1f MiB\n",
                Seconds(Clock::now() - start), unpacked / 1048576.0, archive.size() / 1048576.0,
                100.0 * archive.size() / unpacked, largest / 1048576.0);
  }
  const std::size_t entries = ReadPayloadIndex(archive.data(), archive.size()).size();

  // Extraction, with the private memory watched through the progress hook.
  const std::uint64_t baseline = PrivateBytes();
  std::uint64_t peak = baseline;
  ProgressHook = [&](std::uint64_t, std::uint64_t) { peak = std::max(peak, PrivateBytes()); };
  double best_extract = 1e100;
  std::filesystem::path last_target;
  for (int run = 0; run < options.runs; ++run) {
    if (!last_target.empty()) RemoveTree(last_target);
    last_target = folder / (L"extract-" + std::to_wstring(run));
    ResetProgress(unpacked);
    Clock::duration hashing{};
    FileHasher timed_hash = [&](const std::filesystem::path& path) {
      Clock::time_point begin = Clock::now();
      std::string digest = HashFile(path);
      hashing += Clock::now() - begin;
      return digest;
    };
    Clock::time_point start = Clock::now();
    std::vector<InstalledFile> installed = ExtractPayload(archive.data(), archive.size(), last_target, timed_hash);
    double seconds = Seconds(Clock::now() - start);
    if (installed.size() != entries) throw std::runtime_error("extraction missed entries");
    std::printf("  extract run %d: %.2f s, %.0f MB/s (%.2f s of it in HashFile)\n", run + 1, seconds,
                MegabytesPerSecond(unpacked, seconds), Seconds(hashing));
    std::fflush(stdout);
    best_extract = std::min(best_extract, seconds);
  }
  ProgressHook = nullptr;

  double best_floor = 1e100;
  for (int run = 0; run < options.runs; ++run) {
    Clock::time_point start = Clock::now();
    int matched = InflateAndHashInMemory(archive);
    double seconds = Seconds(Clock::now() - start);
    if (matched != static_cast<int>(entries)) throw std::runtime_error("the in-memory pass disagrees with the digests");
    std::printf("  floor run %d: %.2f s, %.0f MB/s\n", run + 1, seconds, MegabytesPerSecond(unpacked, seconds));
    std::fflush(stdout);
    best_floor = std::min(best_floor, seconds);
  }

  std::vector<std::filesystem::path> extracted;
  WalkTree(last_target, [&](const TreeEntry& entry) {
    if (!entry.info.IsFolder()) extracted.push_back(entry.path);
    return WalkStep::kContinue;
  });
  double best_hash = 1e100;
  for (int run = 0; run < options.runs; ++run) {
    Clock::time_point start = Clock::now();
    for (const auto& path : extracted) HashFile(path);
    double seconds = Seconds(Clock::now() - start);
    std::printf("  HashFile run %d: %.2f s, %.0f MB/s\n", run + 1, seconds, MegabytesPerSecond(unpacked, seconds));
    std::fflush(stdout);
    best_hash = std::min(best_hash, seconds);
  }

  // The same contents hashed in memory.
  std::vector<std::string> contents;
  for (const auto& path : extracted) contents.push_back(ReadSmallFile(path, UINT64_MAX));
  double best_memory_hash = 1e100;
  for (int run = 0; run < options.runs; ++run) {
    Clock::time_point start = Clock::now();
    if (!Sha256InMemory(contents)) throw std::runtime_error("CNG failed to hash in memory");
    double seconds = Seconds(Clock::now() - start);
    std::printf("  CNG SHA-256 in memory run %d: %.2f s, %.0f MB/s\n", run + 1, seconds,
                MegabytesPerSecond(unpacked, seconds));
    std::fflush(stdout);
    best_memory_hash = std::min(best_memory_hash, seconds);
  }
  contents.clear();
  RemoveTree(folder);

  const double extract_rate = MegabytesPerSecond(unpacked, best_extract);
  const double floor_rate = MegabytesPerSecond(unpacked, best_floor);
  std::printf("\nPayload: %zu files, %.1f MiB unpacked (MB = 10^6 bytes; best of %d runs)\n", entries,
              unpacked / 1048576.0, options.runs);
  std::printf("ExtractPayload:               %7.0f MB/s\n", extract_rate);
  std::printf("Floor (inflate + SHA-256):    %7.0f MB/s\n", floor_rate);
  std::printf("Ratio extract / floor:        %7.2f\n", extract_rate / floor_rate);
  const double hash_rate = MegabytesPerSecond(unpacked, best_hash);
  const double memory_hash_rate = MegabytesPerSecond(unpacked, best_memory_hash);
  std::printf("HashFile:                     %7.0f MB/s\n", hash_rate);
  std::printf("CNG SHA-256 in memory:        %7.0f MB/s\n", memory_hash_rate);
  std::printf("Ratio HashFile / in memory:   %7.2f\n", hash_rate / memory_hash_rate);
  std::printf("Private memory during extraction: %.1f MiB above the %.1f MiB before it\n",
              (peak - baseline) / 1048576.0, baseline / 1048576.0);
  return 0;
}

}  // namespace

QV_BENCH(payload) {
  Options options;
  options.mib = static_cast<std::uint64_t>(qv::bench::OptionValue("mib", 256));
  options.files = static_cast<int>(qv::bench::OptionValue("files", 1000));
  options.runs = static_cast<int>(qv::bench::OptionValue("runs", 3));
  try {
    Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "payload bench failed: %s\n", e.what());
  }
}
