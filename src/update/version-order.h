#pragma once
// How two version texts are ordered, and which texts the release check takes
// for a version at all. Pure functions of their arguments.

#include <string_view>
#include <vector>

namespace qv::update {

struct VersionParts {
  std::vector<int> components;  // the dot-separated numbers, in order
  std::string_view suffix;      // after the first '-' (a view into the text); empty when none
};

// Splits "v1.2.0-rc1" into {1, 2, 0} and "rc1". A leading 'v' or 'V' is
// dropped. Each dot-separated piece counts the value of its leading digits; a
// piece without a leading digit, or whose value does not fit an int, counts 0
// ("3+build" counts 3). Empty pieces at the start or between dots count 0; a
// single trailing dot adds nothing.
VersionParts SplitVersion(std::string_view text);

// -1 when a is older than b, 0 when they are the same version, 1 when a is
// newer. Missing components count 0 ("1.1" equals "V1.1.0"); with equal
// numbers a version with a suffix is older than one without ("1.2.0-beta"
// before "1.2.0"), and two suffixes compare by their bytes, a proper prefix
// being older.
int CompareVersions(std::string_view a, std::string_view b);

// True for 1 to 64 bytes of the form [vV]digits(.digits)*: "1", "V1.2.3" and
// "10.0.12" pass; "1.", ".1", "1..2", "1.2.0-beta", "1.2a" and a lone "V" fail.
bool IsValidVersion(std::string_view text);

}  // namespace qv::update
