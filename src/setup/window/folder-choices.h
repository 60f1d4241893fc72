#pragma once
// What the setup window's folder pickers make of the folder the user chose.

#include <filesystem>
#include <optional>
#include <string>

namespace qv::setup {

// "Location...": a folder that already holds an installation is taken as it
// is (an update or repair in place); any other folder, and one that cannot be
// read, gets a new "Q.V. DU Vora" folder inside it.
std::filesystem::path InstallFolderForLocation(const std::filesystem::path& chosen);

struct DumpFolderChoice {
  std::filesystem::path source;                // the source box's new text
  std::optional<std::filesystem::path> folder;  // the folder box's new text, when it changes
};

// "Folder...": an installation whose title folder (found by its archives, else
// "CUSA09901") is a real folder gives that title folder as the source and the
// installation as the folder, so pressing Install repairs it from its own
// archives; any other folder is the source as chosen.
DumpFolderChoice ChooseDumpFolder(const std::filesystem::path& chosen);

}  // namespace qv::setup
