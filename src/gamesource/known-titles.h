#pragma once
// The game's console releases. Their order ranks title folders: the US release
// (the one the port is tested with) first.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

struct KnownTitle {
  std::string_view title_id;
  std::string_view region;
  // Picks the wording of the region note: 1 "the Europe release", 0 "listed as the Japan release".
  std::uint64_t region_confirmed;
};

inline constexpr std::array<KnownTitle, 3> KnownTitles{{
    {"CUSA09901", "US", 1},
    {"CUSA09903", "Europe", 1},
    {"CUSA09902", "Japan", 0},
}};

// Every installation keeps the game's files in this title folder.
inline constexpr std::string_view DefaultTitleId = "CUSA09901";

// The three title identifiers in table order.
std::vector<std::string> KnownTitleIds();

// The row whose title identifier equals `title_id` byte for byte, or null.
const KnownTitle* FindKnownTitle(std::string_view title_id);

inline bool IsListedTitle(std::string_view title_id) { return FindKnownTitle(title_id) != nullptr; }

}  // namespace qv::setup
