#pragma once
// Short (8.3) names as the file system under test makes them: Windows and
// Wine form them differently ("CUSA09~1" against "CUSA~PNS"), so tests read
// them from their own folders instead of writing one down.

#include <filesystem>
#include <string>

namespace qv::test {

// The short name of the existing item's last element; empty when the system
// gives none. Fails the calling test when it is the long name itself (a test
// built on it would prove nothing).
std::string ShortNameOf(const std::filesystem::path& item);

}  // namespace qv::test
