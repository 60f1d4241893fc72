#pragma once
// The signed manifest of a release read from the release service without
// downloading its setup file: one range request for the 48-byte trailer at the
// file's end, one for the manifest and its signature that the trailer locates.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/crypto/signed-trailer.h"
#include "update/release-info.h"
#include "update/signed-manifest.h"

namespace qv::update {

// How long each of the two requests may take in all: both are small, and a
// server that sends a byte now and then must not hold the update forever.
inline constexpr std::uint32_t kManifestRequestDeadlineMs = 30000;

// The release's verified manifest. `rangesUnsupported` (may be null) tells
// whether the server answered a range request with the whole file or with
// another part than the one asked for, in which case the caller can only ever
// download the whole setup file. `error` may be null. `cancelled`, when set,
// stops a request under way (the error then ends in "cancelled"). Never
// throws for network trouble or bad data.
std::optional<UpdateManifest> FetchSignedManifest(const Release& release, std::string* error,
                                                  bool* rangesUnsupported,
                                                  const std::function<bool()>& cancelled = {});

// The last 48 bytes of a setup file of `package_size` bytes, as fetched,
// read as its signed trailer; empty when they are not exactly 48 bytes or
// break a rule of the trailer.
std::optional<qv::setup::SignedTrailer> ReadFetchedTrailer(std::string_view bytes, std::uint64_t package_size);

}  // namespace qv::update
