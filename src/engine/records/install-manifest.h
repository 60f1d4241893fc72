#pragma once
// The install manifest "qv-install-manifest.txt" at the top of an installation:
// the port version installed, the game source it came from and every installed
// file with its SHA-256. Lines end in LF alone:
//   qv-port-install 1
//   version=<version>
//   source=<source>                      (only for a one-line, non-empty source)
//   file=<64 hex digits> <relative path>  (one per file, '/' separators)

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/payload/payload-archive.h"

namespace qv::setup {

inline constexpr std::wstring_view kInstallManifestName = L"qv-install-manifest.txt";
inline constexpr std::string_view kInstallManifestHeader = "qv-port-install 1";

// Writes the manifest through "qv-install-manifest.txt.new" and a rename, so a
// reader sees the old manifest or the complete new one. Raises
// std::runtime_error "Could not write the install manifest." when the ".new"
// file cannot be written (it stays), and std::filesystem::filesystem_error
// "rename" when it cannot replace the manifest.
void WriteInstallManifest(const std::filesystem::path& folder, const std::string& version,
                          const std::vector<InstalledFile>& files, const std::string& source);

struct InstallManifest {
  std::string version;  // the last "version=" line; may be empty
  std::string source;   // the last "source=" line; may be empty
  std::vector<InstalledFile> files;  // every "file=" line in file order, repeats included
};

// The manifest of `folder`; nullopt when it cannot be opened or its first line
// is not exactly the header (a header ending in CR does not count). Every
// file path is checked with SafePayloadPath under `folder`, whose "Unsafe
// payload path." ends the read.
std::optional<InstallManifest> ReadInstallManifest(const std::filesystem::path& folder);

}  // namespace qv::setup
