#pragma once
// Address text of the HTTP client: scheme and host as address checks see them,
// and how a redirect's Location turns into the next address. Pure text work:
// nothing here resolves names or contacts anybody.

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::setup {

// "http" or "https" (lower case) when the address begins with that scheme in
// any letter case followed by "://"; empty for anything else.
std::string UrlScheme(std::string_view url);

// The lower-case host of an http(s) address without its port. Empty when the
// scheme is not http(s), the authority is empty, carries user information
// ('@') or is a bracketed IPv6 literal, so such addresses never pass a host check.
std::string UrlHost(std::string_view url);

// The host as failure texts name it: as UrlHost, but also for an address with
// user information (the part after it: the name and password are never
// shown) or a bracketed IPv6 literal (with its brackets). Empty when the
// scheme is not http(s) or there is no host.
std::string UrlHostForMessage(std::string_view url);

// The whole address as failure texts show it, but without the user
// information of its authority ("name:password@" before the host), of any
// scheme. Text without "://" is returned as it is.
std::string UrlForMessage(std::string_view url);

// True for the statuses that carry a Location to follow: 301, 302, 303, 307, 308.
bool IsRedirectStatus(std::uint32_t status);

// The address a redirect leads to: an absolute http(s) Location as it is, a
// scheme-relative one ("//host/...") with the current scheme, a path ("/...")
// on the current origin (scheme, user information, host and port kept). Empty
// for an empty Location and for paths relative to the current folder, which
// are not resolved.
std::string ResolveRedirect(std::string_view current_url, std::string_view location);

}  // namespace qv::setup
