#pragma once
// What this build is: its version, the platform it was built for, and the
// file names under which the release service publishes each platform's setup.

#include <string_view>

namespace qv::update {

// This build's version ("1.1.0"), from the build's one definition of it. A
// build made without the generated version header answers kPlaceholderVersion,
// which the self test refuses.
std::string_view CurrentVersion();

inline constexpr std::string_view kPlaceholderVersion = "0.0.0-dev";

// The platform key of this build: "windows".
std::string_view CurrentPlatform();

// The release file of a platform key ("linux", "windows", "macos-x64",
// "macos-arm64"); empty for any other key.
std::string_view PackageFileName(std::string_view platform);

// As PackageFileName, but only for the platforms whose setup file carries a
// signed manifest ("linux", "windows"); empty for any other key.
std::string_view SetupPackageFileName(std::string_view platform);

}  // namespace qv::update
