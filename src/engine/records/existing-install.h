#pragma once
// What a destination folder already holds before anything is written: nothing,
// an installation made by this setup (with its install manifest), an older
// installation made before manifests existed, a portable copy of the port, or
// something else that must not be touched.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-system-view.h"
#include "foundation/payload/payload-archive.h"

namespace qv::setup {

struct ExistingInstall {
  bool is_install = false;    // an installation (with or without manifest) or a portable copy
  bool has_manifest = false;  // "qv-install-manifest.txt" with its header line
  std::string version;        // manifest: "version="; portable copy: named from "qv.exe"'s digest
  std::vector<InstalledFile> manifest_files;  // "file=" lines in order, those under data/ left out
  std::vector<PayloadEntry> listed_files;     // "qv-files.json" (empty when absent or invalid)
  std::string source;         // manifest: "source="
  bool portable = false;      // set only by ProbePortableCopy
};

struct KnownPortRelease {
  std::string_view version;
  std::string_view exe_sha256;  // SHA-256 of that release's "qv.exe"
};

// The port's releases, searched in this order.
inline constexpr std::array<KnownPortRelease, 4> KnownPortReleases{{
    {"1.0.0", "f7d30578466f00d1105dfbb1822e0c7acd88483a9f0308b80a00fc1704af9da9"},
    {"1.0.1", "dde93dfaff019034c5cdf4d2394694be8998be884c67c99159c6425925be9e91"},
    {"1.0.2", "b7f23c929e86474c4c3cbac9d145fa66e6f283bc76ffa9a245cb6f92c1a88bf5"},
    {"1.0.3", "7b9eb545291cc0f269ecf90837670ff421acb7593654a9897077c12a21247fb9"},
}};

inline constexpr std::wstring_view kGameExecutableName = L"qv.exe";

// What ReadExistingInstall raises for a destination that is not a folder it
// may use, and for a folder that holds something other than an installation.
inline constexpr const char* kNeverOverwriteText =
    "Choose a new installation folder. Existing folders are never overwritten.";
inline constexpr const char* kSomethingElseText =
    "This folder holds something else. Choose a new installation folder, or a folder with a Q.V. install to "
    "update it.";

// Classifies a destination for installing or updating. A missing or unreadable
// destination and an empty folder give an empty record (a fresh installation).
// Raises std::runtime_error
//   kNeverOverwriteText for a file, a symbolic link or an item that cannot be
//     read on the second look;
//   kSomethingElseText for a non-empty folder that is neither an installation
//     with a manifest nor an older one ("qv.exe" and the game archives in a
//     title folder);
// and "Unsafe payload path." for a manifest file line that leads elsewhere.
ExistingInstall ReadExistingInstall(const std::filesystem::path& destination,
                                    const FileSystemView& view = SystemView());

// Classifies a folder the caller takes for a portable copy: no install
// manifest, a "qv.exe", and "qv-files.json" listing "qv.exe" at its top. The
// version is named from "qv.exe"'s digest when `hasher` is set; a failing
// hasher leaves it empty. Anything else gives an empty record; never raises
// for an ordinary folder.
ExistingInstall ProbePortableCopy(const std::filesystem::path& folder, const FileHasher& hasher,
                                  const FileSystemView& view = SystemView());

// The version of the release whose "qv.exe" has exactly this digest (64
// lower-case hex digits), or "".
std::string PortVersionFromHash(std::string_view sha256);

}  // namespace qv::setup
