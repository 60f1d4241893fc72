#include "update/updater/result-dialog.h"

#include <string>

#include "foundation/text/text.h"
#include "update/updater/updater-text.h"

namespace qv::setup::win_updater {
namespace {

UpdaterText MainInstructionKey(int kind) {
  switch (kind) {
    case kOutcomeRolledBack:
      return UpdaterText::kRolledBack;
    case kOutcomeBroken:
      return UpdaterText::kUpdateBroken;
    default:
      return UpdaterText::kUpdateFailed;
  }
}

// The hint to use the release page, the page itself when one is known (as text:
// only the button opens it), then the English detail.
std::string Content(int language, const Outcome& outcome) {
  std::string content = UpdaterTextFor(language, UpdaterText::kReleasePageHint);
  if (!outcome.page.empty()) {
    content += '\n';
    content += outcome.page;
  }
  content += "\n\n";
  content += UpdaterTextFor(language, UpdaterText::kDetails);
  content += ' ';
  content += outcome.detail;
  return content;
}

}  // namespace

bool OutcomeShowsResultDialog(int kind) {
  return kind == kOutcomeFailed || kind == kOutcomeRolledBack || kind == kOutcomeBroken;
}

ResultDialogConfig MakeResultDialogConfig(int language, const Outcome& outcome) {
  ResultDialogConfig config;
  config.title = Utf8ToWide(UpdaterTextFor(language, UpdaterText::kTitle));
  config.main_instruction = Utf8ToWide(UpdaterTextFor(language, MainInstructionKey(outcome.kind)));
  config.content = Utf8ToWide(Content(language, outcome));
  config.right_to_left = IsRightToLeftLanguage(language);
  config.page = outcome.page;
  if (outcome.page.empty()) {
    config.common_close_button = true;
    config.default_button = IDCLOSE;
  } else {
    config.buttons.push_back(
        {kOpenReleasePageButton, Utf8ToWide(UpdaterTextFor(language, UpdaterText::kOpenReleasePage))});
    config.buttons.push_back({IDCLOSE, Utf8ToWide(UpdaterTextFor(language, UpdaterText::kClose))});
    config.default_button = kOpenReleasePageButton;
  }
  return config;
}

bool IsOpenableReleasePage(std::string_view page) {
  constexpr std::string_view kScheme = "https://";
  if (page.size() <= kScheme.size() || page.substr(0, kScheme.size()) != kScheme) return false;
  for (const char c : page) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || c == '"') return false;
  }
  return true;
}

}  // namespace qv::setup::win_updater
