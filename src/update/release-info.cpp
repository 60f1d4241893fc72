#include "update/release-info.h"

#include "update/build-identity.h"
#include "update/download-policy.h"
#include "update/environment-text.h"
#include "update/release-service.h"
#include "update/version-order.h"

namespace qv::update {
namespace {

using qv::setup::FindJsonMember;
using qv::setup::JsonValue;

constexpr std::size_t kOwnFormUrlLimit = 512;
constexpr std::size_t kAssetLinkLimit = 2048;
constexpr std::string_view kHttpsPrefix = "https://";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `limit` bytes, moved back to the start of a character when the
// cut would split one: the notes and the link are shown to the user.
std::string CutText(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t end = limit;
  for (int back = 0; back < 3 && end > 0 && IsContinuationByte(text[end]); ++back) --end;
  if (IsContinuationByte(text[end])) end = limit;  // not UTF-8 anyway: cut where asked
  return std::string(text.substr(0, end));
}

bool IsHttpsLink(std::string_view link) { return link.size() >= 8 && link.starts_with(kHttpsPrefix); }

// A "size" token read as an unsigned decimal number up to its first
// non-digit. A number beyond 64 bits counts as no size at all rather than
// wrapping into a small one, so a download keeps its own upper bound.
std::uint64_t ReadAssetSize(const std::string& text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// "draft" and "prerelease" may be missing; when present they must say false.
bool IsPublishedRelease(const JsonValue& document) {
  for (const char* key : {"draft", "prerelease"}) {
    const JsonValue* member = FindJsonMember(document, key);
    if (member != nullptr && (member->is_object || member->text != "false")) return false;
  }
  return true;
}

// The first line of the release body, or its first 200 bytes when that line is longer.
std::string FirstLineOfNotes(const std::string& body) {
  const std::size_t line_feed = body.find('\n');
  if (line_feed != std::string::npos && line_feed < kReleaseNotesLimit) return body.substr(0, line_feed);
  return CutText(body, kReleaseNotesLimit);
}

std::optional<Release> ReadApiForm(const JsonValue& document, std::string_view platform) {
  if (!IsPublishedRelease(document)) return std::nullopt;
  const std::string* page = NonEmptyStringMember(document, "html_url");
  const std::string* tag = NonEmptyStringMember(document, "tag_name");
  if (page == nullptr || !IsHttpsLink(*page) || tag == nullptr || !IsValidVersion(*tag)) return std::nullopt;

  Release release;
  release.version = *tag;
  release.url = *page;
  release.page = *page;
  if (const std::string* body = NonEmptyStringMember(document, "body")) release.notes = FirstLineOfNotes(*body);

  const std::string_view download_name = PackageFileName(platform);
  const std::string_view setup_name = SetupPackageFileName(platform);
  const JsonValue* assets = FindJsonMember(document, "assets");
  if (assets == nullptr) return release;
  // The first usable asset of this platform's file is the one: the link the
  // user is offered and the setup file the updater reads are the same file,
  // and a size never belongs to another file than the address. Later assets
  // of the same name count for nothing.
  for (const JsonValue& asset : assets->items) {
    const std::string* name = NonEmptyStringMember(asset, "name");
    const std::string* link = NonEmptyStringMember(asset, "browser_download_url");
    if (name == nullptr || link == nullptr || link->size() > kAssetLinkLimit) continue;
    if (download_name.empty() || *name != download_name) continue;
    if (IsHttpsLink(*link)) release.url = *link;
    // The setup file's name is the download's, on platforms that have one.
    if (!setup_name.empty() && IsAllowedDownloadUrl(*link)) {
      release.package_url = *link;
      const JsonValue* size = FindJsonMember(asset, "size");
      release.package_size = size != nullptr && !size->is_string ? ReadAssetSize(size->text) : 0;
    }
    break;
  }
  return release;
}

std::optional<Release> ReadOwnForm(const JsonValue& document, std::string_view platform) {
  const std::string* version = NonEmptyStringMember(document, "version");
  if (version == nullptr) return std::nullopt;
  Release release;
  release.version = *version;
  std::string_view url;
  if (const std::string* given = NonEmptyStringMember(document, "url")) url = *given;
  if (const std::string* notes = NonEmptyStringMember(document, "notes")) release.notes = CutText(*notes, kReleaseNotesLimit);
  if (const JsonValue* platforms = FindJsonMember(document, "platforms")) {
    if (const JsonValue* own = FindJsonMember(*platforms, platform)) {
      if (const std::string* given = NonEmptyStringMember(*own, "url")) url = *given;
    }
  }
  release.url = CutText(url, kOwnFormUrlLimit);
  return release;
}

}  // namespace

std::string ReleaseUrl() {
  std::string overridden = EnvironmentText("QV_UPDATE_MANIFEST_URL");
  if (!overridden.empty()) return overridden;
  return "https://" + std::string(kReleaseApiHost) + std::string(kReleaseDocumentPath);
}

const std::string* NonEmptyStringMember(const JsonValue& object, std::string_view key) {
  const JsonValue* member = FindJsonMember(object, key);
  if (member == nullptr || !member->is_string || member->text.empty()) return nullptr;
  return &member->text;
}

std::optional<Release> ParseRelease(std::string_view body, std::string_view platform) {
  // A byte-order mark before the document is allowed, and means nothing.
  if (body.starts_with(kUtf8ByteOrderMark)) body.remove_prefix(kUtf8ByteOrderMark.size());
  std::optional<JsonValue> document = qv::setup::ParseJsonDocument(body);
  if (!document) return std::nullopt;
  if (NonEmptyStringMember(*document, "tag_name") != nullptr) return ReadApiForm(*document, platform);
  return ReadOwnForm(*document, platform);
}

}  // namespace qv::update
