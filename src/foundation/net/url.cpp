#include "foundation/net/url.h"

namespace qv::setup {
namespace {

constexpr std::string_view kSchemeEnd = "://";

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

std::string UrlScheme(std::string_view url) {
  if (url.size() < 3) return {};
  size_t end = url.find(kSchemeEnd);
  if (end == std::string_view::npos) return {};
  std::string scheme = AsciiLower(url.substr(0, end));
  if (scheme == "http" || scheme == "https") return scheme;
  return {};
}

namespace {

// What lies between "://" and the path, query or fragment of an http(s)
// address; empty for any other address.
std::string_view Authority(std::string_view url) {
  if (UrlScheme(url).empty()) return {};
  std::string_view rest = url.substr(url.find(kSchemeEnd) + kSchemeEnd.size());
  return rest.substr(0, rest.find_first_of("/?#"));
}

}  // namespace

std::string UrlHost(std::string_view url) {
  std::string_view authority = Authority(url);
  if (authority.empty() || authority.find('@') != std::string_view::npos || authority.front() == '[') return {};
  return AsciiLower(authority.substr(0, authority.find(':')));
}

std::string UrlHostForMessage(std::string_view url) {
  std::string_view authority = Authority(url);
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (!authority.empty() && authority.front() == '[') return AsciiLower(authority.substr(0, authority.find(']') + 1));
  return AsciiLower(authority.substr(0, authority.find(':')));
}

std::string UrlForMessage(std::string_view url) {
  const size_t scheme_end = url.find(kSchemeEnd);
  if (scheme_end == std::string_view::npos) return std::string(url);
  const size_t authority = scheme_end + kSchemeEnd.size();
  const std::string_view rest = url.substr(authority);
  const size_t at = rest.substr(0, rest.find_first_of("/?#")).rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  return std::string(url.substr(0, authority)) + std::string(rest.substr(at + 1));
}

bool IsRedirectStatus(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string ResolveRedirect(std::string_view current_url, std::string_view location) {
  if (!UrlScheme(location).empty()) return std::string(location);
  if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
    return UrlScheme(current_url) + ":" + std::string(location);
  }
  if (location.empty() || location[0] != '/') return {};
  // The origin ends where the path, query or fragment begins, so all three are
  // replaced even when the current address has a query but no path.
  size_t scheme_end = current_url.find(kSchemeEnd);
  size_t origin_end = scheme_end == std::string_view::npos
                          ? std::string_view::npos
                          : current_url.find_first_of("/?#", scheme_end + kSchemeEnd.size());
  return std::string(current_url.substr(0, origin_end)) + std::string(location);
}

}  // namespace qv::setup
