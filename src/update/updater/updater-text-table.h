#pragma once
// The stored texts of the updater and route windows: one row per language, one
// UTF-8 entry per key, "{1}" where the caller's argument goes. Read it through
// UpdaterTextFor (updater-text.h), which falls back to English.

#include <array>
#include <string_view>

#include "update/updater/updater-text.h"

namespace qv::setup {

using UpdaterTextRow = std::array<std::string_view, kUpdaterTextCount>;

extern const std::array<UpdaterTextRow, kUpdaterLanguageCount> kUpdaterTextTable;

}  // namespace qv::setup
