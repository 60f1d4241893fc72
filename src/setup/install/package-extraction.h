#pragma once
// The console package is unpacked by the package extraction helper, an outside
// program the payload carries as "extractor/QV.PkgExtract.exe". The setup
// starts it with two arguments, the absolute package path and the title folder
// to fill, and keeps everything it prints in "install-extraction.log", which
// stays in the installation.

#include <filesystem>
#include <string_view>

namespace qv::setup {

// Where the helper lies in the work folder (the engine's staging folder,
// into which the payload is already extracted).
inline constexpr std::wstring_view kExtractionHelperPath = L"extractor\\QV.PkgExtract.exe";

// How long a cancelled helper may take to end after it was terminated.
inline constexpr unsigned kHelperEndWaitMs = 5000;

// Runs the helper on `package` into `work`/"CUSA09901", with its output in
// `work`/"install-extraction.log" (which must not exist yet). While it runs,
// the progress rises by what the title folder holds, and a cancel request
// ends it within about 100 ms. Returns when it exited with 0. Raises
// "Could not create extraction log.", "Could not start the PKG extraction
// helper.", "Installation cancelled." (the helper terminated), or
// "PKG extraction failed. " followed by the log's first 600 characters for
// any other exit code; a package path that cannot be made absolute raises
// filesystem_error "absolute". Nothing is cleaned up: the engine disposes of
// the work folder.
void ExtractPkg(const std::filesystem::path& work, const std::filesystem::path& package);

}  // namespace qv::setup
