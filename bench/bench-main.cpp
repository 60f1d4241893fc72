// Runs every registered benchmark in name order, or only those named on the
// command line.

#include <cstdio>
#include <map>
#include <string>

#include "bench.h"

namespace qv::bench {
namespace {

std::map<std::string, std::function<void()>>& Benches() {
  static std::map<std::string, std::function<void()>> benches;
  return benches;
}

}  // namespace

bool RegisterBench(const char* name, std::function<void()> body) {
  Benches()[name] = std::move(body);
  return true;
}

}  // namespace qv::bench

int main(int argc, char** argv) {
  auto& benches = qv::bench::Benches();
  if (argc == 1) {
    for (auto& [name, body] : benches) body();
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    auto it = benches.find(argv[i]);
    if (it == benches.end()) {
      std::fprintf(stderr, "unknown benchmark %s; known:", argv[i]);
      for (auto& [name, body] : benches) std::fprintf(stderr, " %s", name.c_str());
      std::fprintf(stderr, "\n");
      return 2;
    }
    it->second();
  }
  return 0;
}
