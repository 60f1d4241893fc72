#include "gamesource/known-titles.h"

namespace qv::setup {

std::vector<std::string> KnownTitleIds() {
  std::vector<std::string> ids;
  for (const KnownTitle& title : KnownTitles) ids.emplace_back(title.title_id);
  return ids;
}

const KnownTitle* FindKnownTitle(std::string_view title_id) {
  for (const KnownTitle& title : KnownTitles) {
    if (title.title_id == title_id) return &title;
  }
  return nullptr;
}

}  // namespace qv::setup
