#pragma once
// Benchmarks: each file registers its measurements with QV_BENCH(name) { ... }
// and prints its own figures; tools/bench.sh builds and runs them all.

#include <chrono>
#include <functional>

namespace qv::bench {

bool RegisterBench(const char* name, std::function<void()> body);

// The value of "--<name> N" on the command line, or `fallback` when absent.
long OptionValue(const char* name, long fallback);

// Wall-clock seconds of one call of `work`.
inline double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The fastest of `rounds` calls: the figure least disturbed by the machine.
inline double BestSecondsOf(int rounds, const std::function<void()>& work) {
  double best = SecondsOf(work);
  for (int i = 1; i < rounds; ++i) {
    const double seconds = SecondsOf(work);
    if (seconds < best) best = seconds;
  }
  return best;
}

}  // namespace qv::bench

#define QV_BENCH(name)                                                                                   \
  static void QvBench_##name();                                                                          \
  static const bool kQvBenchRegistered_##name = ::qv::bench::RegisterBench(#name, &QvBench_##name);     \
  static void QvBench_##name()
