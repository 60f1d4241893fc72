#pragma once
// The port's own ReShade build. The installation ships it as
// "reshade\dxgi.dll"; after the DLSS 5 tool has installed (with a ReShade of
// its own) the route puts the port's copy down as the game folder's
// "dxgi.dll", and on removal deletes that file again, but only while it is
// still the copy the route record names: a "dxgi.dll" the user put there
// since is theirs.

#include <filesystem>
#include <functional>
#include <string>

#include "foundation/files/file-system-view.h"
#include "foundation/files/rename-item.h"
#include "routes/route-window.h"

namespace qv::setup {

struct PortReShade {
  std::string sha256;  // of the "dxgi.dll" put down; empty when it was not
  std::string reason;  // why it was not put down
};

// Puts game\reshade\dxgi.dll down as game\dxgi.dll through the temporary
// game\dxgi.dll.qv-tmp. The copy is compared with the source before it takes
// the target's place, so a bad copy never replaces the tool's own "dxgi.dll".
// Reasons: "the package has no <source>" (missing, a link, a junction or a
// folder), "could not replace <target>" (the copy or the rename failed),
// "the copied <target> does not match the package's". No temporary file
// stays behind in any case, not even one an earlier, killed run left.
PortReShade PutDownPortReShade(const win_route::State& state, const FileCopier& copy = {},
                               const FileSystemView& view = SystemView());

// Deletes game\dxgi.dll.qv-tmp, which a run killed while it put the copy
// down leaves. The name is the route's alone; every run of the route calls
// this first, whatever it then does and however it ends.
void DeleteLeftoverReShadeCopy(const win_route::State& state);

// On removal: deletes game\dxgi.dll.qv-tmp (DeleteLeftoverReShadeCopy).
// Then, when `recorded_sha256` is not empty and game\dxgi.dll is a plain file
// (no link, junction or folder) with exactly that SHA-256, deletes it and
// logs "the port's own ReShade (dxgi.dll) deleted" (or "... could not be
// deleted"). Anything else leaves the file alone without a log line.
void DeletePortReShade(const win_route::State& state, const std::string& recorded_sha256,
                       const FileSystemView& view = SystemView());

}  // namespace qv::setup
