#include "selftest/icon-self-test.h"

#include <optional>
#include <string_view>

#include "gamesource/title-picture.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-pkg.h"

namespace qv::setup {
namespace {

// The PNG signature alone: the smallest content that must count as a picture.
const std::string kPictureBytes("\x89PNG\r\n\x1A\n", 8);
const std::string kNotAPicture = "not a png file";

// A check that expects the picture fails on no result and on any other bytes.
bool IsThePicture(const std::optional<std::string>& read) { return read && *read == kPictureBytes; }

void Expect(bool passed, std::string_view token, std::string& tokens) {
  if (!passed) tokens += token;
}

}  // namespace

std::string SelfTestIcons(const std::filesystem::path& folder) {
  const std::filesystem::path dump = folder / L"dump";
  const std::filesystem::path package = folder / L"game.pkg";
  // Never created: a source that is gone must give no picture, not an exception.
  const std::filesystem::path missing = folder / L"missing";
  const std::filesystem::path icon = dump / L"sce_sys" / L"icon0.png";
  std::string tokens;

  WriteFixtureFile(icon, kPictureBytes);
  Expect(IsThePicture(ReadSourcePicture(dump, "icon0.png")), " folder-icon", tokens);

  WriteFixtureFile(icon, kNotAPicture);
  Expect(!ReadSourcePicture(dump, "icon0.png"), " folder-nonpng", tokens);

  WriteFixtureFile(dump / L"sce_sys" / L"pic1.png", kPictureBytes);
  Expect(IsThePicture(ReadSourcePicture(dump, "pic1.png")), " folder-title-picture", tokens);

  Expect(!ReadSourcePicture(missing, "pic1.png"), " missing-title-picture", tokens);

  WriteFixtureFile(package, BuildTestPkg(kPictureBytes, false));
  Expect(IsThePicture(ReadSourcePicture(package, "icon0.png")), " pkg-icon", tokens);

  // Encrypted entry data is not a picture whatever its bytes look like.
  WriteFixtureFile(package, BuildTestPkg(kPictureBytes, true));
  Expect(!ReadSourcePicture(package, "icon0.png"), " encrypted-icon", tokens);

  Expect(!ReadSourcePicture(missing, "icon0.png"), " missing-icon", tokens);
  return tokens;
}

}  // namespace qv::setup
