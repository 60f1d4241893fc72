#pragma once
// The unlock's files in the game folder: its proxy DLL under one of the three
// names Windows loads from the game folder, "dlssg_sm86.ini", the runtime
// folder "dlssg_sm86" and the record; and another program's DLL of the
// chosen name, moved aside as "<name>.qv-fg-backup" while the unlock is in
// place.

#include <filesystem>
#include <string>

#include "foundation/files/file-system-view.h"
#include "foundation/files/rename-item.h"
#include "routes/fg/fg-route.h"

namespace qv::setup {

// True when the file (links followed, at most 64 MiB) carries the marker
// "dlssg_sm86" that every proxy of the unlock holds. Another program's DLL,
// a folder, a missing or unreadable file: false.
bool IsOwnProxy(const std::filesystem::path& file);

// The proxy name for this install: the recorded name (RecordedProxyName)
// while it is free (its status cannot be read) or holds our proxy; else the
// first of "version.dll", "winmm.dll", "dbghelp.dll" that is free or ours; else
// empty. A folder or another program's DLL under a name takes that name.
std::string ChooseProxyName(const std::filesystem::path& game_folder, const std::string& recorded);

// Takes the unlock out: what a killed run left under the unlock's temporary
// names ("<proxy name>.qv-tmp", the unpacking folder "dlssg_sm86.qv-tmp"),
// our proxies (never another program's DLL), the settings file, the runtime
// folder (links inside removed as links) and the record; then puts each
// moved-aside DLL back under its name, but only where that name is free: a
// DLL another program put there meanwhile stays, and the backup with it. File-system errors are logged or passed over.
void RemoveFgUnlock(const FgRouteState& state, const FileSystemView& view = SystemView());

// The installation steps after the digest check; 0, or -1 with `detail` set.
// The settings file and the runtime folder are unpacked into
// "dlssg_sm86.qv-tmp" and renamed into place once on the disk; the proxy is
// copied (by `copy`, the system's copy when empty) under "<name>.qv-tmp" and
// renamed: no kill leaves a part of a file under a name the game loads.
int InstallFgUnlock(const FgRouteState& state, std::string& detail, const FileSystemView& view = SystemView(),
                    const FileCopier& copy = {});

}  // namespace qv::setup
