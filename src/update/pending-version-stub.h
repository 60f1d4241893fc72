#pragma once
// TEMPORARY: stands in for the version functions until the entry point's
// branch lands them on main; removed at that merge. Not to be landed.

#include <string_view>

namespace qv::update {

std::string_view CurrentVersion();
std::string_view CurrentPlatform();
std::string_view PackageFileName(std::string_view platform);
std::string_view SetupPackageFileName(std::string_view platform);
int CompareVersions(std::string_view a, std::string_view b);
bool IsValidVersion(std::string_view text);
bool IsUpdateTestMode();

}  // namespace qv::update
