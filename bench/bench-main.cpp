// Runs every registered benchmark in name order, or only those named on the
// command line. "--<option> N" pairs set the benchmarks' options.

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <map>
#include <string>

#include "bench.h"

namespace qv::bench {
namespace {

std::map<std::string, std::function<void()>>& Benches() {
  static std::map<std::string, std::function<void()>> benches;
  return benches;
}

std::map<std::string, long>& Options() {
  static std::map<std::string, long> options;
  return options;
}

}  // namespace

bool RegisterBench(const char* name, std::function<void()> body) {
  Benches()[name] = std::move(body);
  return true;
}

long OptionValue(const char* name, long fallback) {
  auto it = Options().find(name);
  return it == Options().end() ? fallback : it->second;
}

}  // namespace qv::bench

int main(int argc, char** argv) {
  auto& benches = qv::bench::Benches();
  std::vector<std::string> chosen;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      chosen.push_back(arg);
      continue;
    }
    long value = i + 1 < argc ? std::strtol(argv[i + 1], nullptr, 10) : 0;
    if (value <= 0) {
      std::fprintf(stderr, "option %s needs a positive number\n", arg.c_str());
      return 2;
    }
    qv::bench::Options()[arg.substr(2)] = value;
    ++i;
  }
  if (chosen.empty()) {
    for (auto& [name, body] : benches) body();
    return 0;
  }
  for (const std::string& name : chosen) {
    auto it = benches.find(name);
    if (it == benches.end()) {
      std::fprintf(stderr, "unknown benchmark %s; known:", name.c_str());
      for (auto& [name, body] : benches) std::fprintf(stderr, " %s", name.c_str());
      std::fprintf(stderr, "\n");
      return 2;
    }
    it->second();
  }
  return 0;
}
