#include "update/pending-version-stub.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/elevation.h"

namespace qv::update {

std::string_view CurrentVersion() { return "1.1.0"; }
std::string_view CurrentPlatform() { return "windows"; }
std::string_view PackageFileName(std::string_view platform) {
  if (platform == "linux") return "Q.V.PC.Rure.Setup-linux";
  if (platform == "windows") return "Q.V.PC.Rure.Setup.exe";
  if (platform == "macos-x64") return "Q.V.PC.Rure-macOS-x64.zip";
  if (platform == "macos-arm64") return "Q.V.PC.Rure-macOS-arm64.zip";
  return {};
}
std::string_view SetupPackageFileName(std::string_view platform) {
  if (platform == "linux" || platform == "windows") return PackageFileName(platform);
  return {};
}
namespace {
std::vector<long long> Parts(std::string_view t) {
  if (!t.empty() && (t[0] == 'v' || t[0] == 'V')) t.remove_prefix(1);
  t = t.substr(0, t.find('-'));
  std::vector<long long> out;
  long long v = 0;
  bool any = false;
  for (char c : t) {
    if (c == '.') { out.push_back(v); v = 0; any = false; continue; }
    if (c >= '0' && c <= '9') { v = v * 10 + (c - '0'); any = true; }
  }
  if (any) out.push_back(v);
  return out;
}
std::string_view Suffix(std::string_view t) {
  size_t d = t.find('-');
  return d == std::string_view::npos ? std::string_view() : t.substr(d + 1);
}
}  // namespace
int CompareVersions(std::string_view a, std::string_view b) {
  auto x = Parts(a), y = Parts(b);
  for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    long long p = i < x.size() ? x[i] : 0, q = i < y.size() ? y[i] : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  auto s = Suffix(a), t = Suffix(b);
  if (s == t) return 0;
  if (s.empty()) return 1;
  if (t.empty()) return -1;
  return s < t ? -1 : 1;
}
bool IsValidVersion(std::string_view t) {
  if (t.empty() || t.size() > 64) return false;
  if (t[0] == 'v' || t[0] == 'V') t.remove_prefix(1);
  if (t.empty()) return false;
  char prev = 0;
  for (char c : t) {
    if (c == '.') { if (!(prev >= '0' && prev <= '9')) return false; }
    else if (!(c >= '0' && c <= '9')) return false;
    prev = c;
  }
  return prev >= '0' && prev <= '9';
}
bool IsUpdateTestMode() {
  const char* v = std::getenv("QV_UPDATE_TEST");
  return v && std::strcmp(v, "1") == 0 && !qv::setup::IsProcessElevated();
}

}  // namespace qv::update
