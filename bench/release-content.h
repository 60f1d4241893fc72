#pragma once
// The content of a benchmark release: files of mixed compressibility (packed
// textures and audio, text, program-like binaries) with a log-uniform spread
// of sizes, reproducible from run to run, and where each file's zlib stream
// lies in a payload archive built from them.

#include <cstdint>
#include <string>
#include <vector>

#include "selftest/fixtures/fixture-files.h"
#include "update/signed-manifest.h"

namespace qv::bench {

// About `mib` MiB in `count` files: one large incompressible file (its stream
// is longer than one 64 MiB inflate input piece when the total allows), the
// others between 512 bytes and 4 MiB, in a few folders.
qv::setup::FixtureFiles MixedReleaseFiles(std::uint64_t mib, int count);

// `length` bytes that look like a program (runs of zeros, small numbers and
// random stretches); `seed` chooses them.
std::string ProgramLikeBytes(std::size_t length, std::uint64_t seed);

// Every entry of a payload archive (the setup's "QVSETUP1" format) with the
// position and length of its zlib stream, counted from `base` (the archive's
// own position in the file that holds it).
std::vector<qv::update::FileEntry> PayloadStreams(const std::string& archive, std::uint64_t base = 0);

}  // namespace qv::bench
