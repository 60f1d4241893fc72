#pragma once
// Builds payload archives in the setup's own "QVSETUP1" format, so that the
// real reader and extractor can be exercised on small synthetic content.

#include <filesystem>
#include <string>

#include "foundation/file-hash.h"
#include "selftest/fixture-files.h"

namespace qv::setup {

// The archive image of `files`, in their order. Each content is written to
// `scratch_folder`/"hash.bin" (the folder is created when missing, and the file
// stays) and hashed there with `hasher`, whose text becomes the entry's digest;
// the content is compressed with zlib's one-call compress at the default level.
// Raises std::filesystem::filesystem_error "create_directories" when the scratch
// folder cannot be created, whatever the hasher raises, std::bad_function_call
// for an empty hasher and std::invalid_argument for a name of 65536 bytes or more.
std::string BuildTestPayload(const std::filesystem::path& scratch_folder, const FixtureFiles& files,
                             const FileHasher& hasher);

}  // namespace qv::setup
