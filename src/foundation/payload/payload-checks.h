#pragma once
// Rules over the port's file set, whatever archive or download supplies it:
// nothing may lie under the installation's "data" folder (the player's
// settings, saves and logs), and the upscaler runtimes must be present.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/payload/payload-archive.h"

namespace qv::setup {

// True when the first element of the relative path (either separator) is
// `folder` once trailing dots and blanks are dropped (the system ignores them in
// names) and ASCII letters are folded: for "mods", "mods/x", "MODS\x",
// "Mods./x" and "mods" itself.
bool IsUnderTopFolder(std::string path, std::string_view folder);

// IsUnderTopFolder(path, "data"): "data/x", "DATA\x", "Data./x", "data".
bool IsUnderDataFolder(std::string path);

// Same length and equal after folding ASCII A-Z to a-z; other bytes exact.
bool IsAsciiNameEqual(std::string_view a, std::string_view b);

// Raises "The installer payload cannot contain files under data/." when any
// file lies under data.
void CheckPayloadHasNoDataFiles(const std::vector<InstalledFile>& files);

// The data check, then each required name in order must be the whole relative
// path of some file (ASCII case ignored); the first missing one raises
// "The installer payload is missing required runtime file <name>.".
void CheckPayloadRuntimeFiles(const std::vector<InstalledFile>& files, const std::vector<std::string>& required);

// Raises "The installer payload lists <name>, whose <element> has the form of
// a short (8.3) name, which may stand for another folder or file." for the
// first file with such an element (HasShortNameForm, the rule by which the
// updater reads a signed manifest's names): on the player's computer it may
// stand for another folder ("CUSA~PNS" for "CUSA09901"), or for one that
// the same payload creates.
void CheckPayloadHasNoShortNameForms(const std::vector<InstalledFile>& files);

// CheckPayloadRuntimeFiles with "amd_fidelityfx_vk.dll", "nvngx_dlss.dll" and
// "libxess.dll", after CheckPayloadHasNoShortNameForms: the check the setup
// and the updater run before installing.
void ValidatePayloadFiles(const std::vector<InstalledFile>& files);

}  // namespace qv::setup
