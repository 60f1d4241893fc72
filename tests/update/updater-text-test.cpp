// The updater and route windows' text table: its shape, the texts that are
// fixed in every language, the conventions every row keeps, and the lookups.

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "update/updater/updater-text.h"

namespace {

using qv::setup::FillPlaceholder;
using qv::setup::kUpdaterLanguageCount;
using qv::setup::kUpdaterTextCount;
using qv::setup::PhaseLine;
using qv::setup::UpdaterText;
using qv::setup::UpdaterTextFor;
using qv::setup::UpdaterTextTemplate;

// The route workers post keys as numbers; the numbers must not drift.
static_assert(static_cast<int>(UpdaterText::kTitle) == 0);
static_assert(static_cast<int>(UpdaterText::kCancel) == 12);
static_assert(static_cast<int>(UpdaterText::kElevationNotice) == 14);
static_assert(static_cast<int>(UpdaterText::kDlss5Title) == 16);
static_assert(static_cast<int>(UpdaterText::kCheckingInstalledFiles) == 24);
static_assert(static_cast<int>(UpdaterText::kFrameGenerationFailed) == 26);
static_assert(static_cast<int>(UpdaterText::kRouteLeftToAnotherRun) == kUpdaterTextCount - 1);

UpdaterText Key(int key) { return static_cast<UpdaterText>(key); }

std::string Where(int language, int key) {
  return std::string(qv::setup::UpdaterLanguageName(language)) + " key " + std::to_string(key) + ": \"" +
         std::string(UpdaterTextTemplate(language, Key(key))) + "\"";
}

// Code points of valid UTF-8 (the validity itself is tested separately).
std::vector<char32_t> CodePoints(std::string_view utf8) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (int k = 1; k < length && i + k < utf8.size(); ++k) point = (point << 6) | (utf8[i + k] & 0x3F);
    points.push_back(point);
    i += static_cast<std::size_t>(length);
  }
  return points;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

TEST(UpdaterTextTable, EnglishTextsAreAsListed) {
  const std::array<std::string_view, kUpdaterTextCount> english = {
      "Q.V. DU Vora update",
      "Waiting for Q.V. to close...",
      "Checking the new version...",
      "Downloading version {1}...",
      "Verifying the download...",
      "Installing version {1}...",
      "Starting Q.V. ...",
      "The update could not be installed. Your game was not changed.",
      "The new version did not start, so the previous version was restored.",
      "You can download the new version from the release page instead.",
      "Open the release page",
      "Close",
      "Cancel",
      "Details:",
      "Windows asks for permission to update this folder...",
      "The update could not be completed or undone. Run the setup from the release page to repair the game.",
      "Q.V. DU Vora: DLSS 5",
      "Installing DLSS 5...",
      "Removing DLSS 5...",
      "Q.V. DU Vora: DLSS Frame Generation",
      "Installing DLSS Frame Generation...",
      "Removing DLSS Frame Generation...",
      "Reinstalling DLSS Frame Generation...",
      "Reinstalling DLSS 5...",
      "Checking the installed files...",
      "DLSS 5 could not be changed. Q.V. starts and shows the reason.",
      "DLSS Frame Generation could not be changed. Q.V. starts and shows the reason.",
      "Nothing was changed: Q.V. is still running. Close Q.V. and try again.",
      "Nothing was changed: another update or repair is under way. Q.V. is left to it.",
  };
  for (int key = 0; key < kUpdaterTextCount; ++key) {
    EXPECT_EQ(UpdaterTextTemplate(0, Key(key)), english[static_cast<std::size_t>(key)]) << "key " << key;
  }
}

TEST(UpdaterTextTable, WindowTitlesAreAsListed) {
  const std::array<std::string_view, kUpdaterLanguageCount> titles = {
      "Q.V. DU Vora update",         "Mise à jour de Q.V. DU Vora",
      "Q.V. DU Vora Update",         "Actualización de Q.V. DU Vora",
      "Q.V. DU Vora の更新",         "Aggiornamento di Q.V. DU Vora",
      "Atualização do Q.V. DU Vora", "Q.V. DU Vora güncellemesi",
      "Q.V. DU Vora 更新",           "تحديث Q.V. DU Vora",
      "Обновление Q.V. DU Vora",     "Оновлення Q.V. DU Vora",
      "Aktualizace Q.V. DU Vora",    "Aktualizacja Q.V. DU Vora",
  };
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    EXPECT_EQ(UpdaterTextTemplate(language, UpdaterText::kTitle), titles[static_cast<std::size_t>(language)])
        << "language " << language;
  }
}

TEST(UpdaterTextTable, EveryEntryIsCleanNonEmptyUtf8) {
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    for (int key = 0; key < kUpdaterTextCount; ++key) {
      const std::string_view text = UpdaterTextTemplate(language, Key(key));
      ASSERT_FALSE(text.empty()) << Where(language, key);
      EXPECT_GT(
          ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0),
          0)
          << "invalid UTF-8 in " << Where(language, key);
      EXPECT_NE(text.front(), ' ') << Where(language, key);
      EXPECT_NE(text.back(), ' ') << Where(language, key);
      EXPECT_EQ(text.find("  "), std::string_view::npos) << Where(language, key);
      for (const char32_t point : CodePoints(text)) {
        EXPECT_FALSE(point < 0x20 || point == 0x7F) << "control character in " << Where(language, key);
      }
    }
  }
}

TEST(UpdaterTextTable, PlaceholderOnlyInTheVersionLinesAndOnlyOnce) {
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    for (int key = 0; key < kUpdaterTextCount; ++key) {
      const std::string_view text = UpdaterTextTemplate(language, Key(key));
      const bool takes_version = key == 3 || key == 5;
      const std::size_t first = text.find("{1}");
      if (takes_version) {
        ASSERT_NE(first, std::string_view::npos) << Where(language, key);
        EXPECT_EQ(text.find("{1}", first + 1), std::string_view::npos) << Where(language, key);
      }
      // No other braces: a mistyped "{l}" or "{2}" would reach the window as it stands.
      std::string rest(text);
      if (first != std::string_view::npos) rest.erase(first, 3);
      EXPECT_EQ(rest.find_first_of("{}"), std::string::npos) << Where(language, key);
    }
  }
}

TEST(UpdaterTextTable, NamesStayUntranslated) {
  struct Name {
    std::string_view text;
    std::vector<int> keys;
  };
  const std::vector<Name> names = {
      {"Q.V. DU Vora", {0, 16, 19}},  {"Q.V.", {1, 6, 25, 26, 27, 28}}, {"DLSS 5", {16, 17, 18, 23, 25}},
      {"DLSS", {19, 20, 21, 22, 26}}, {"Windows", {14}},
  };
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    for (const Name& name : names) {
      for (const int key : name.keys) {
        EXPECT_NE(UpdaterTextTemplate(language, Key(key)).find(name.text), std::string_view::npos)
            << "\"" << name.text << "\" missing in " << Where(language, key);
      }
    }
    // The frame-generation texts never name the other route.
    for (const int key : {19, 20, 21, 22, 26}) {
      EXPECT_EQ(UpdaterTextTemplate(language, Key(key)).find("DLSS 5"), std::string_view::npos) << Where(language, key);
    }
  }
}

TEST(UpdaterTextTable, EveryRowKeepsThePunctuationOfItsKind) {
  const std::vector<int> status_lines = {1, 2, 3, 4, 5, 6, 14, 17, 18, 20, 21, 22, 23, 24};
  const std::vector<int> sentences = {7, 8, 9, 15, 25, 26, 27, 28};
  const std::vector<int> labels = {0, 10, 11, 12, 16, 19};
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    for (const int key : status_lines) {
      const std::string_view text = UpdaterTextTemplate(language, Key(key));
      EXPECT_TRUE(EndsWith(text, "...")) << Where(language, key);
      // "Q.V...." would read as a typing error: a name ending in a dot keeps a blank before the ellipsis.
      EXPECT_FALSE(EndsWith(text, "....")) << Where(language, key);
    }
    for (const int key : sentences) {
      const std::string_view text = UpdaterTextTemplate(language, Key(key));
      EXPECT_TRUE((EndsWith(text, ".") && !EndsWith(text, "..")) || EndsWith(text, "。")) << Where(language, key);
    }
    for (const int key : labels) {
      const std::string_view text = UpdaterTextTemplate(language, Key(key));
      EXPECT_FALSE(EndsWith(text, ".") || EndsWith(text, ":") || EndsWith(text, "。")) << Where(language, key);
    }
    const std::string_view details = UpdaterTextTemplate(language, UpdaterText::kDetails);
    EXPECT_TRUE(EndsWith(details, ":") || EndsWith(details, "：")) << Where(language, 13);
  }
}

TEST(UpdaterTextTable, TranslationsAreNotEnglishLeftOvers) {
  // Entries that rightly read as in English: the DLSS 5 title everywhere, and
  // German, which keeps "Details:" and NVIDIA's English feature name.
  auto may_match_english = [](int language, int key) {
    return key == 16 || (language == 2 && (key == 13 || key == 19));
  };
  for (int language = 1; language < kUpdaterLanguageCount; ++language) {
    for (int key = 0; key < kUpdaterTextCount; ++key) {
      if (may_match_english(language, key)) continue;
      EXPECT_NE(UpdaterTextTemplate(language, Key(key)), UpdaterTextTemplate(0, Key(key))) << Where(language, key);
    }
  }
}

enum class Script { kLatin, kCyrillic, kArabic, kKana, kHan, kOther };

Script ScriptOf(char32_t point) {
  if ((point >= U'A' && point <= U'Z') || (point >= U'a' && point <= U'z')) return Script::kLatin;
  if (point >= 0xC0 && point <= 0x24F && point != 0xD7 && point != 0xF7) return Script::kLatin;
  if (point >= 0x400 && point <= 0x4FF) return Script::kCyrillic;
  if (point >= 0x620 && point <= 0x652) return Script::kArabic;  // letters and their marks
  if (point >= 0x3040 && point <= 0x30FF) return Script::kKana;
  if (point >= 0x4E00 && point <= 0x9FFF) return Script::kHan;
  return Script::kOther;  // digits, blanks, punctuation
}

// Hand-typed translations can hide a letter of another script that looks the
// same (a Cyrillic "о" in a French word, a Latin "a" in a Russian one); it
// would break searching and spell checking. Each row may hold only Latin (for
// the fixed names) and its own script, and no word mixes scripts.
TEST(UpdaterTextTable, EveryRowUsesOnlyItsScriptAndNoWordMixesScripts) {
  auto allowed = [](int language, Script script) {
    if (script == Script::kLatin || script == Script::kOther) return true;
    switch (language) {
      case 4:
        return script == Script::kKana || script == Script::kHan;
      case 8:
        return script == Script::kHan;
      case 9:
        return script == Script::kArabic;
      case 10:
      case 11:
        return script == Script::kCyrillic;
      default:
        return false;
    }
  };
  for (int language = 0; language < kUpdaterLanguageCount; ++language) {
    for (int key = 0; key < kUpdaterTextCount; ++key) {
      Script word = Script::kOther;
      for (const char32_t point : CodePoints(UpdaterTextTemplate(language, Key(key)))) {
        const Script script = ScriptOf(point);
        EXPECT_TRUE(allowed(language, script))
            << "U+" << std::hex << static_cast<unsigned>(point) << " in " << Where(language, key);
        // Japanese writes kana and kanji together in one word.
        const bool same_word = word == script || (language == 4 && word != Script::kOther && word != Script::kLatin &&
                                                  script != Script::kLatin);
        if (script != Script::kOther && word != Script::kOther) {
          EXPECT_TRUE(same_word) << "mixed scripts in a word of " << Where(language, key);
        }
        word = script;
      }
    }
  }
}

TEST(UpdaterTextTable, RussianAndUkrainianKeepTheirOwnLetters) {
  for (int key = 0; key < kUpdaterTextCount; ++key) {
    for (const char32_t point : CodePoints(UpdaterTextTemplate(10, Key(key)))) {
      EXPECT_EQ(std::u32string_view(U"ІіЇїЄєҐґ").find(point), std::u32string_view::npos) << Where(10, key);
    }
    for (const char32_t point : CodePoints(UpdaterTextTemplate(11, Key(key)))) {
      EXPECT_EQ(std::u32string_view(U"ЫыЭэЪъЁё").find(point), std::u32string_view::npos) << Where(11, key);
    }
  }
}

TEST(UpdaterTextFor, ALanguageOutsideTheTableGivesEnglish) {
  for (const int language : {14, 15, 99, -1, -9, INT_MAX, INT_MIN}) {
    for (int key = 0; key < kUpdaterTextCount; ++key) {
      EXPECT_EQ(UpdaterTextFor(language, Key(key), "2.0"), UpdaterTextFor(0, Key(key), "2.0"))
          << "language " << language << " key " << key;
    }
  }
  EXPECT_EQ(UpdaterTextFor(13, UpdaterText::kCancel), "Anuluj");
}

TEST(UpdaterTextFor, AKeyOutsideTheTableGivesNothing) {
  for (const int key : {29, 100, -1, INT_MIN}) {
    EXPECT_EQ(UpdaterTextFor(0, Key(key), "x"), "") << key;
    EXPECT_EQ(UpdaterTextTemplate(3, Key(key)), "") << key;
  }
}

TEST(UpdaterTextFor, FillsTheVersionIntoItsPlaceholder) {
  EXPECT_EQ(UpdaterTextFor(0, UpdaterText::kDownloading, "1.4.2"), "Downloading version 1.4.2...");
  EXPECT_EQ(UpdaterTextFor(7, UpdaterText::kInstalling, "1.4.2"), "1.4.2 sürümü yükleniyor...");
  EXPECT_EQ(UpdaterTextFor(4, UpdaterText::kDownloading, "v2"), "バージョン v2 をダウンロードしています...");
  EXPECT_EQ(UpdaterTextFor(0, UpdaterText::kInstalling, ""), "Installing version ...");
  // A text without a placeholder is returned as it stands, whatever the argument.
  EXPECT_EQ(UpdaterTextFor(0, UpdaterText::kClose, "1.4.2"), "Close");
  EXPECT_EQ(UpdaterTextFor(2, UpdaterText::kClose), "Schließen");
}

TEST(FillPlaceholder, ReplacesOnlyTheFirstPlaceholderOnce) {
  EXPECT_EQ(FillPlaceholder("a {1} b {1}", "X"), "a X b {1}");
  // An argument that itself holds the placeholder is not expanded again.
  EXPECT_EQ(FillPlaceholder("v{1}!", "{1}{1}"), "v{1}{1}!");
  EXPECT_EQ(FillPlaceholder("{1}", ""), "");
  EXPECT_EQ(FillPlaceholder("no placeholder {2}", "X"), "no placeholder {2}");
  EXPECT_EQ(FillPlaceholder("", "X"), "");
}

TEST(UpdaterLanguages, OnlyArabicIsWrittenRightToLeft) {
  for (int language = -1; language <= kUpdaterLanguageCount; ++language) {
    EXPECT_EQ(qv::setup::IsRightToLeftLanguage(language), language == 9) << language;
  }
  EXPECT_EQ(qv::setup::UpdaterLanguageName(9), "Arabic");
  EXPECT_EQ(qv::setup::UpdaterLanguageName(14), "");
}

TEST(PhaseLine, ShowsThePhaseAndThePercentOnlyWhileItCounts) {
  struct Case {
    int language;
    int phase;
    std::string_view version;
    int percent;
    std::string_view line;
  };
  const Case cases[] = {
      {0, 0, "1.5", 45, "Waiting for Q.V. to close..."},
      {0, 1, "1.5", 45, "Checking the new version..."},
      {0, 2, "1.5", 45, "Downloading version 1.5... 45%"},
      {0, 2, "1.5", 0, "Downloading version 1.5... 0%"},
      {0, 2, "1.5", 100, "Downloading version 1.5... 100%"},
      {0, 2, "1.5", -1, "Downloading version 1.5..."},
      {0, 3, "1.5", 45, "Verifying the download..."},
      {0, 4, "1.5", 7, "Installing version 1.5... 7%"},
      {0, 4, "", -1, "Installing version ..."},
      {0, 5, "1.5", 45, "Starting Q.V. ..."},
      {0, 6, "1.5", 45, "Starting Q.V. ..."},
      {0, -1, "1.5", 45, "Starting Q.V. ..."},
      {1, 2, "1.5", 45, "Téléchargement de la version 1.5... 45%"},
      {9, 4, "1.5", 45, "جارٍ تثبيت الإصدار 1.5... 45%"},
      {14, 2, "1.5", 45, "Downloading version 1.5... 45%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PhaseLine(c.language, c.phase, c.version, c.percent), c.line)
        << "language " << c.language << " phase " << c.phase << " percent " << c.percent;
  }
  EXPECT_EQ(qv::setup::PhaseTextKey(0), UpdaterText::kWaitingForGame);
  EXPECT_EQ(qv::setup::PhaseTextKey(4), UpdaterText::kInstalling);
  EXPECT_EQ(qv::setup::PhaseTextKey(5), UpdaterText::kStartingGame);
  EXPECT_EQ(qv::setup::PhaseTextKey(INT_MIN), UpdaterText::kStartingGame);
}

}  // namespace
