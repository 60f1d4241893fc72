#pragma once
// Which addresses the updater may contact. Hosts compare exactly against
// UrlHost, which gives nothing for addresses with user information, bracketed
// hosts or a scheme other than http(s), so such addresses never pass.

#include <string>

namespace qv::update {

// Only in update test mode: an http or https address on 127.0.0.1 or localhost.
bool IsTestLocalUrl(const std::string& url);

// Every download of release files (signed manifest, package ranges, whole
// package), checked on every hop: a test-local address, or https on one of
// the release service's delivery hosts.
bool IsAllowedDownloadUrl(const std::string& url);

// The updater's fetch of the release document, checked on every hop: what
// IsAllowedDownloadUrl allows, or https on the release service's API host.
bool IsAllowedReleaseUrl(const std::string& url);

}  // namespace qv::update
