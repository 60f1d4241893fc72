#pragma once
// The self test of how an in-place update treats what the frame-generation
// unlock puts into an installation: its proxy DLL "version.dll", its record
// "qv-dlssg-route.json" and the files the record names. An update that does
// not ship "version.dll" must take away the community proxy only when no
// record claims it, and never another program's DLL or the route's files.

#include <filesystem>
#include <string>

namespace qv::setup {

// Works in `folder` (made as needed, removed at the end) and returns its
// failure tokens, empty on success.
std::string SelfTestFgUnlock(const std::filesystem::path& folder);

}  // namespace qv::setup
