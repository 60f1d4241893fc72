// What the updater's result dialog shows for each outcome kind, page and
// language, decided without a window.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "foundation/text/text.h"
#include "update/updater/result-dialog.h"
#include "update/updater/updater-text.h"

namespace {

using qv::setup::UpdaterText;
using qv::setup::UpdaterTextFor;
using qv::setup::Utf8ToWide;
using qv::setup::win_updater::IsOpenableReleasePage;
using qv::setup::win_updater::kOpenReleasePageButton;
using qv::setup::win_updater::MakeResultDialogConfig;
using qv::setup::win_updater::Outcome;
using qv::setup::win_updater::OutcomeShowsResultDialog;
using qv::setup::win_updater::ResultDialogConfig;

std::wstring Text(int language, UpdaterText key) { return Utf8ToWide(UpdaterTextFor(language, key)); }

TEST(ResultDialogConfig, FailedWithoutPageOffersOnlyClose) {
  const ResultDialogConfig config = MakeResultDialogConfig(0, Outcome{.kind = 1, .detail = "the server answered 404", .page = ""});
  EXPECT_EQ(config.title, L"Q.V. DU Vora update");
  EXPECT_EQ(config.main_instruction, L"The update could not be installed. Your game was not changed.");
  EXPECT_EQ(config.content,
            L"You can download the new version from the release page instead.\n\nDetails: the server answered 404");
  EXPECT_TRUE(config.buttons.empty());
  EXPECT_TRUE(config.common_close_button);
  EXPECT_EQ(config.default_button, IDCLOSE);
  EXPECT_FALSE(config.right_to_left);
  EXPECT_EQ(config.page, "");
}

TEST(ResultDialogConfig, APageAddsItsLineAndItsButtonAsTheDefault) {
  const ResultDialogConfig config = MakeResultDialogConfig(
      0,
      Outcome{.kind = 2, .detail = "the new version could not be started", .page = "https://example.org/releases/1.5"});
  EXPECT_EQ(config.main_instruction, L"The new version did not start, so the previous version was restored.");
  EXPECT_EQ(config.content,
            L"You can download the new version from the release page instead.\nhttps://example.org/releases/1.5"
            L"\n\nDetails: the new version could not be started");
  ASSERT_EQ(config.buttons.size(), 2u);
  EXPECT_EQ(config.buttons[0].id, kOpenReleasePageButton);
  EXPECT_EQ(config.buttons[0].text, L"Open the release page");
  EXPECT_EQ(config.buttons[1].id, IDCLOSE);
  EXPECT_EQ(config.buttons[1].text, L"Close");
  EXPECT_FALSE(config.common_close_button);
  EXPECT_EQ(config.default_button, kOpenReleasePageButton);
  EXPECT_EQ(config.page, "https://example.org/releases/1.5");
}

TEST(ResultDialogConfig, APageThatWillNotOpenStillShowsItsButton) {
  // The page is shown as the release document gave it; only opening it is refused.
  const ResultDialogConfig config =
      MakeResultDialogConfig(0, Outcome{.kind = 1, .detail = "x", .page = "http://example.org/r"});
  ASSERT_EQ(config.buttons.size(), 2u);
  EXPECT_EQ(config.page, "http://example.org/r");
  EXPECT_NE(config.content.find(L"\nhttp://example.org/r\n\n"), std::wstring::npos);
}

TEST(ResultDialogConfig, EachKindHasItsMainInstruction) {
  struct Case {
    int kind;
    UpdaterText key;
  };
  const Case cases[] = {
      {1, UpdaterText::kUpdateFailed},  {2, UpdaterText::kRolledBack},    {3, UpdaterText::kUpdateBroken},
      {0, UpdaterText::kUpdateFailed},  {4, UpdaterText::kUpdateFailed},  {5, UpdaterText::kUpdateFailed},
      {-1, UpdaterText::kUpdateFailed}, {99, UpdaterText::kUpdateFailed},
  };
  for (const Case& c : cases) {
    for (const int language : {0, 3, 8}) {
      EXPECT_EQ(MakeResultDialogConfig(language, Outcome{.kind = c.kind, .detail = "d", .page = ""}).main_instruction,
                Text(language, c.key))
          << "kind " << c.kind << " language " << language;
    }
  }
}

TEST(ResultDialogConfig, SpeaksTheLanguageAndKeepsTheDetailEnglish) {
  struct Case {
    int language;
    bool right_to_left;
    int text_language;  // the row the texts come from
  };
  const Case cases[] = {{9, true, 9}, {4, false, 4}, {10, false, 10}, {13, false, 13}, {14, false, 0}, {-1, false, 0}};
  for (const Case& c : cases) {
    const ResultDialogConfig config = MakeResultDialogConfig(
        c.language, Outcome{.kind = 3, .detail = "rollback failed: disk full", .page = "https://example.org/r"});
    const int t = c.text_language;
    EXPECT_EQ(config.right_to_left, c.right_to_left) << c.language;
    EXPECT_EQ(config.title, Text(t, UpdaterText::kTitle)) << c.language;
    EXPECT_EQ(config.main_instruction, Text(t, UpdaterText::kUpdateBroken)) << c.language;
    EXPECT_EQ(config.content, Text(t, UpdaterText::kReleasePageHint) + L"\nhttps://example.org/r\n\n" +
                                  Text(t, UpdaterText::kDetails) + L" rollback failed: disk full")
        << c.language;
    ASSERT_EQ(config.buttons.size(), 2u);
    EXPECT_EQ(config.buttons[0].text, Text(t, UpdaterText::kOpenReleasePage)) << c.language;
    EXPECT_EQ(config.buttons[1].text, Text(t, UpdaterText::kClose)) << c.language;
  }
}

TEST(ResultDialogConfig, OnlyFailedRolledBackAndBrokenShowTheDialog) {
  for (int kind = -1; kind <= 6; ++kind) {
    EXPECT_EQ(OutcomeShowsResultDialog(kind), kind == 1 || kind == 2 || kind == 3) << kind;
  }
}

TEST(ReleasePage, OnlyHttpsAddressesThatStayOneArgumentOpen) {
  struct Case {
    std::string_view page;
    bool opens;
  };
  const Case cases[] = {
      {"https://example.org/releases/tag/v1.5", true},
      {"https://例え.jp/リリース", true},
      {"https://x", true},
      {"https://", false},  // nothing after the scheme
      {"", false},
      {"http://example.org/r", false},
      {"HTTPS://example.org/r", false},
      {" https://example.org/r", false},
      {"file:///C:/Windows/System32/calc.exe", false},
      {"ms-settings:", false},
      {"https://example.org/a b", false},
      {"https://example.org/\" --new-window file:///C:/", false},
      {"https://example.org/\t", false},
      {"https://example.org/\r\n", false},
      {std::string_view("https://example.org/\0x", 22), false},
      {"https://example.org/\x7f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsOpenableReleasePage(c.page), c.opens) << c.page;
}

}  // namespace
