#include "setup/modes/check-update-mode.h"

#include <optional>
#include <string>
#include <thread>

#include "foundation/net/url.h"
#include "foundation/result-file.h"
#include "update/build-identity.h"
#include "update/release-info.h"

namespace qv::setup {

int RunCheckUpdateMode(const std::filesystem::path& result, qv::update::Checker& checker,
                       const CheckUpdatePolling& polling) {
  checker.Start({});
  for (int poll = 0; poll < polling.polls && !checker.Done(); ++poll) std::this_thread::sleep_for(polling.interval);
  const bool done = checker.Done();
  const std::optional<qv::update::Release> newer = checker.Result();

  // Addresses are written as every message shows them: without a name and password.
  std::string text = "url " + UrlForMessage(qv::update::ReleaseUrl());
  text += "\nthis " + std::string(qv::update::CurrentVersion());
  text += std::string("\ndone ") + (done ? "1" : "0");
  text += "\nnewer " + (newer ? newer->version + " " + UrlForMessage(newer->url) : std::string("none")) + "\n";
  WriteResultFile(result, text);
  return 0;
}

}  // namespace qv::setup
