#pragma once
// The frame-generation unlock's package as the route finds it in its work
// folder: the zip, the note "tool-source.txt" beside it, the package's own
// "manifest.json" once unpacked, and the system's "tar.exe" that unpacks it.

#include <filesystem>
#include <string>
#include <vector>

namespace qv::setup {

// The zip's expected path: the work folder joined with the file name of the
// package address, which is "QV_FG_TOOL_URL" when that is set and not empty,
// else the built-in release address; the file name is everything after the
// last "/". A name that is empty (an address ending in "/") or that is not one
// plain file name (holding "\", ":", "." or ".." alone, or a device name)
// names no zip: the work folder itself is returned, which no digest matches.
std::filesystem::path FgToolZipPath(const std::filesystem::path& work_folder);

// The blank-separated words of "tool-source.txt" in the work folder (its
// first 64 KiB): the package's source, its tag and the zip's expected
// SHA-256. Missing words, or a missing file, give fewer words.
std::vector<std::string> ReadFgToolSourceWords(const std::filesystem::path& work_folder);

// The third word of "tool-source.txt" when it has exactly 64 characters,
// else the digest built into the program. Compared case-sensitively with the
// computed lower-case digest.
std::string ExpectedFgZipDigest(const std::filesystem::path& work_folder);

// The source and tag the record names: the first two words of
// "tool-source.txt", "pinned" and "v0.4.0" where a word is missing.
struct FgToolSource {
  std::string source = "pinned";
  std::string tag = "v0.4.0";
};
FgToolSource ReadFgToolSource(const std::filesystem::path& work_folder);

// What the route takes from the package's "manifest.json".
struct FgPackageEntry {
  std::string path;    // "dlssg_sm86/..." for the runtime's files
  std::string sha256;  // as the package states it; may be empty
};
struct FgPackageManifest {
  std::string runtime;  // "bundle"."runtime_model"; may be empty
  std::vector<FgPackageEntry> entries;  // the "files" items, in order
};

// Reads "manifest.json" in the work folder (at most 16 MiB). A file that is
// missing, unreadable, not one JSON object, or followed by other text gives
// an empty runtime and no entries.
FgPackageManifest ReadFgPackageManifest(const std::filesystem::path& work_folder);

// Runs "<system folder>\tar.exe -xf <zip> -C <destination> <member>" in the
// destination folder, its output in `log` (a new file each run), stopped
// after 5 minutes. Returns tar's exit code, -1 when it could not be started.
int RunTarExtract(const std::filesystem::path& zip, const std::filesystem::path& destination,
                  const std::string& member, const std::filesystem::path& log);

}  // namespace qv::setup
