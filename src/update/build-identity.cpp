#include "update/build-identity.h"

#include <array>
#include <utility>

#if __has_include("qv-version.h")
#include "qv-version.h"
#endif

namespace qv::update {
namespace {

struct PlatformPackage {
  std::string_view platform;
  std::string_view file_name;
  bool carries_signed_manifest;
};

constexpr std::array<PlatformPackage, 4> kPackages{{
    {"linux", "Q.V.PC.Rure.Setup-linux", true},
    {"windows", "Q.V.PC.Rure.Setup.exe", true},
    {"macos-x64", "Q.V.PC.Rure-macOS-x64.zip", false},
    {"macos-arm64", "Q.V.PC.Rure-macOS-arm64.zip", false},
}};

}  // namespace

std::string_view CurrentVersion() {
#ifdef QV_VERSION
  return QV_VERSION;
#else
  return kPlaceholderVersion;
#endif
}

std::string_view CurrentPlatform() { return "windows"; }

std::string_view PackageFileName(std::string_view platform) {
  for (const PlatformPackage& package : kPackages) {
    if (package.platform == platform) return package.file_name;
  }
  return {};
}

std::string_view SetupPackageFileName(std::string_view platform) {
  for (const PlatformPackage& package : kPackages) {
    if (package.platform == platform && package.carries_signed_manifest) return package.file_name;
  }
  return {};
}

}  // namespace qv::update
