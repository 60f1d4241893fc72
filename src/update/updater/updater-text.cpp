#include "update/updater/updater-text.h"

#include <array>

#include "update/updater/updater-text-table.h"

namespace qv::setup {
namespace {

constexpr std::string_view kPlaceholder = "{1}";

constexpr std::array<std::string_view, kUpdaterLanguageCount> kLanguageNames = {
    "English",
    "French",
    "German",
    "Spanish",
    "Japanese",
    "Italian",
    "Portuguese (Brazil)",
    "Turkish",
    "Chinese (Simplified)",
    "Arabic",
    "Russian",
    "Ukrainian",
    "Czech",
    "Polish",
};

bool IsTableLanguage(int language) {
  // Compared as unsigned, so a negative index falls back as well as a large one.
  return static_cast<unsigned>(language) < static_cast<unsigned>(kUpdaterLanguageCount);
}

}  // namespace

std::string_view UpdaterTextTemplate(int language, UpdaterText key) {
  const int index = static_cast<int>(key);
  // The route workers hand keys through window messages; a stray value must
  // not read outside the table.
  if (static_cast<unsigned>(index) >= static_cast<unsigned>(kUpdaterTextCount)) return {};
  const auto& row =
      kUpdaterTextTable[static_cast<std::size_t>(IsTableLanguage(language) ? language : kEnglishLanguage)];
  return row[static_cast<std::size_t>(index)];
}

std::string FillPlaceholder(std::string_view text, std::string_view argument) {
  std::string filled(text);
  if (const std::size_t at = filled.find(kPlaceholder); at != std::string::npos) {
    filled.replace(at, kPlaceholder.size(), argument);
  }
  return filled;
}

std::string UpdaterTextFor(int language, UpdaterText key, std::string_view argument) {
  return FillPlaceholder(UpdaterTextTemplate(language, key), argument);
}

bool IsRightToLeftLanguage(int language) { return language == kArabicLanguage; }

std::string_view UpdaterLanguageName(int language) {
  return IsTableLanguage(language) ? kLanguageNames[static_cast<std::size_t>(language)] : std::string_view{};
}

UpdaterText PhaseTextKey(int phase) {
  if (phase >= 0 && phase <= 4) return static_cast<UpdaterText>(phase + 1);
  return UpdaterText::kStartingGame;
}

std::string PhaseLine(int language, int phase, std::string_view version, int percent) {
  std::string line = UpdaterTextFor(language, PhaseTextKey(phase), version);
  // Only the two phases that report progress show a figure; a percentage left
  // over from an earlier phase must not appear beside "Verifying".
  const bool reports_progress = phase == 2 || phase == 4;
  if (reports_progress && percent >= 0) {
    line += ' ';
    line += std::to_string(percent);
    line += '%';
  }
  return line;
}

}  // namespace qv::setup
