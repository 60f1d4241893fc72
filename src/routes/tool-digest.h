#pragma once
// The SHA-256 of an outside tool file a route is about to trust (the DLSS 5
// tool, the frame-generation unlock's zip).

#include <filesystem>
#include <string>

namespace qv::setup {

// 64 lower-case hexadecimal characters; "" when the digest cannot be
// computed (missing, unreadable). A folder under the tool's name is never
// opened: the hasher would take its refusal for a file another program holds
// and retry for about 10 s before the route could refuse it.
std::string ToolDigestOrEmpty(const std::filesystem::path& file);

}  // namespace qv::setup
