#include "setup/window/existing-install-question.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::setup::ExistingInstall;
using qv::setup::ExistingInstallQuestion;

ExistingInstall Install(bool is_install, bool has_manifest, std::string version) {
  ExistingInstall existing;
  existing.is_install = is_install;
  existing.has_manifest = has_manifest;
  existing.version = std::move(version);
  return existing;
}

TEST(ExistingInstallQuestion, FourCases) {
  const std::string update_108 =
      "Q.V. is already installed here (version 1.0.8). Update it to version 1.1.0? The game files, settings, saves "
      "and anything else you added stay.";
  const struct {
    const char* what;
    ExistingInstall existing;
    std::string question;
  } cases[] = {
      {"no installation", Install(false, false, ""), ""},
      {"no installation, stray version", Install(false, true, "1.1.0"), ""},
      {"same version", Install(true, true, "1.1.0"),
       "Q.V. version 1.1.0 is already installed here and up to date. Repair it (check the game files and the program "
       "files, and rewrite those that differ)?"},
      {"older version", Install(true, true, "1.0.8"), update_108},
      {"older installation without manifest or version", Install(true, false, ""),
       "Q.V. is already installed here (an older version). Update it to version 1.1.0? The game files, settings, "
       "saves and anything else you added stay."},
      // Text equality, not version order: a newer installation is offered the
      // update, as is the same version without a manifest or spelled otherwise.
      {"newer version", Install(true, true, "1.2.0"),
       "Q.V. is already installed here (version 1.2.0). Update it to version 1.1.0? The game files, settings, saves "
       "and anything else you added stay."},
      {"same version without manifest (a portable copy)", Install(true, false, "1.1.0"),
       "Q.V. is already installed here (version 1.1.0). Update it to version 1.1.0? The game files, settings, saves "
       "and anything else you added stay."},
      {"same version spelled with v", Install(true, true, "v1.1.0"),
       "Q.V. is already installed here (version v1.1.0). Update it to version 1.1.0? The game files, settings, "
       "saves and anything else you added stay."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExistingInstallQuestion(c.existing, "1.1.0"), c.question) << c.what;
  }
}

}  // namespace
