#pragma once
// The names a signed manifest may give the files of an update, held to the
// rules the release tool packs by: a name the system would store under
// another name, one that says the same file as another entry, and one that
// reaches the player's own files are refused before anything is downloaded.

#include <vector>

#include "update/signed-manifest.h"

namespace qv::update {

// Raises std::runtime_error, for the first entry in list order that breaks a rule:
//   "The update lists <name>, which Windows would take for <other name>: it
//     takes a back slash for a folder separator[ and] drops the dots and
//     blanks at the end of a name." for a name Windows would store under
//     another one ("mods./pack.pak", "mods\pack.pak", "new.spv." for
//     "new.spv") that it stores as it stands;
//   "Unsafe payload path." for a name that is empty, rooted, not UTF-8, or has an
//     element that is empty ("a//b"), "." or "..", ends in a dot or a blank
//     with nothing storable left, holds one of < > : " \ | ? * or a control
//     byte, names a device ("nul.txt", "CONIN$", "COM¹"), or begins with
//     ".qv-" (ASCII letter case aside), the names of the system's own
//     temporary folders and files;
//   "The update lists <name>, whose <element> has the form of a short (8.3)
//     name, which may stand for another folder or file." (HasShortNameForm);
//   "The installer payload cannot contain files under data/." for a name under data;
//   "The update may not change the game's own files: <name> lies in a title
//     folder." for a name in a title folder at any depth
//     ("CUSA09901/chunk1.psarc", "dump/CUSA09901/chunk1.psarc"), and "...:
//     <name> is part of them." for the game's files at the top ("chunk1.psarc",
//     "sce_sys/param.sfo"): OwnerOfName;
//   "The update may not change the player's own files: <name> is one of
//     them." for the player's and the installation's own files ("qv.ini",
//     "mods/...", "crash.log", "qv-dlssg-route.json", "icon0.png"): OwnerOfName;
//   "The update lists <name>, which is the same file as <earlier name>." for
//     two names the system takes for one file (letter case), and (as "the
//     installation's record qv-install-manifest.txt") for the record the
//     engine writes itself.
void CheckManifestFileNames(const std::vector<FileEntry>& files);

}  // namespace qv::update
