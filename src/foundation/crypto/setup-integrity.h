#pragma once
// The setup file's check of itself. The program carries a 16-byte marker
// followed by a 32-byte digest field in its initialised data; after linking,
// the build writes into that field the SHA-256 of the program file with the
// field zeroed (tools/stamp-integrity.py). A signed overlay appended later
// takes no part in the digest.
//
// The marker text exists in the program exactly once, in that field: the check
// takes its search pattern from the field at run time, and a second copy
// anywhere in the file makes the check fail. Never write the marker as a
// literal anywhere else (tests build it from pieces).

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::setup {

inline constexpr std::size_t kIntegrityMarkerSize = 16;
inline constexpr std::size_t kIntegrityDigestSize = 32;

// The marker bytes, read from the program's own integrity field.
std::string_view IntegrityMarker();

// True when the image (the bytes of a setup file) holds the marker exactly
// once with its whole digest field, the field is stamped, and the field equals
// the SHA-256 of the image with the field zeroed. A valid signed overlay at
// the end is left out first. Never raises for bad input.
bool CheckSetupImageIntegrity(std::string_view image);

// CheckSetupImageIntegrity of the running program's own file, read and hashed
// a piece at a time (memory does not grow with the file); false when the file
// cannot be read.
bool CheckSetupIntegrity();

}  // namespace qv::setup
