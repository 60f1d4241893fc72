#pragma once
// Fresh GUIDs as text, for names that must not collide with another run's
// (temporary folders, write probes).

#include <string>

namespace qv::setup {

// A new GUID in its braced 38-character form, "{XXXXXXXX-XXXX-XXXX-XXXX-
// XXXXXXXXXXXX}", upper-case hexadecimal digits. Raises std::runtime_error
// "Could not create a run identifier." when the system makes none.
std::string NewGuidText();

}  // namespace qv::setup
