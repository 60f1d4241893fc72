#pragma once
// The newest release as the release service describes it: where that
// description is fetched from and how it is read. Pure functions of their
// arguments and the environment; no network or file access here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/text/json.h"

namespace qv::update {

struct Release {
  std::string version;       // as the document gives it ("v" prefix kept)
  std::string url;           // shown to the user: this platform's download, else the release page
  std::string notes;         // at most 200 bytes
  std::string page;          // release page (API form only)
  std::string package_url;   // this platform's setup file, only on an allowed download host
  std::uint64_t package_size = 0;  // as the document states it; 0 when unknown
  bool manifest_resolved = false;  // set by the update checker
  std::uint64_t download_estimate = 0;  // set by the update checker
};

// Longest notes kept from a release document, in bytes.
inline constexpr std::size_t kReleaseNotesLimit = 200;

// The release document's address: "QV_UPDATE_MANIFEST_URL" when set and not
// empty (whether or not test mode is on), else the release service's own.
std::string ReleaseUrl();

// The member's text when it is a JSON string that is not empty; else null.
const std::string* NonEmptyStringMember(const qv::setup::JsonValue& object, std::string_view key);

// Reads a release document for a platform key ("windows", ...). Two forms:
// the release service's API form (with "tag_name", "html_url", "assets") and
// the project's own form ("version", "url", "notes", "platforms"). Empty for
// anything unreadable or unacceptable; never throws for bad input.
std::optional<Release> ParseRelease(std::string_view body, std::string_view platform);

}  // namespace qv::update
