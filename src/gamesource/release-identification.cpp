#include "gamesource/release-identification.h"

#include <algorithm>
#include <string>

#include "foundation/files/file-reads.h"
#include "gamesource/archive-tests.h"
#include "gamesource/known-titles.h"
#include "gamesource/param-sfo.h"

namespace qv::setup {
namespace {

constexpr std::string_view kLevelMarker = "qv14_";

std::string RegionNote(const KnownTitle& row, const GameFiles& files) {
  return files.title_id + " is " + (row.region_confirmed == 1 ? "the " : "listed as the ") +
         RegionFromContentId(files.title_id, files.content_id) +
         " release; the port is tested with the US release CUSA09901 (other releases are expected to hold the "
         "same data; the game logs at its start what differs)";
}

}  // namespace

bool PathIdListShowsLevels(const std::filesystem::path& list) {
  // The last bytes of each piece are kept, so a marker across a piece boundary
  // is still seen while memory stays at one piece whatever the file's size.
  bool found = false;
  std::string window;
  ScanFilePieces(list, kMaxPathIdListSize, [&](std::string_view piece) {
    window.append(piece);
    found = window.find(kLevelMarker) != std::string::npos;
    window.erase(0, window.size() - std::min(window.size(), kLevelMarker.size() - 1));
    return !found;
  });
  return found;
}

bool IdentifyRelease(GameFiles& files) {
  const bool has_list = !files.path_id_list.empty();
  const bool levels = has_list && PathIdListShowsLevels(files.path_id_list);
  const KnownTitle* row = FindKnownTitle(files.title_id);

  std::vector<std::string> notes;
  if (row) {
    if (row->title_id != DefaultTitleId) notes.push_back(RegionNote(*row, files));
  } else if (levels) {
    if (!files.title_id.empty()) {
      notes.push_back("title ID " + files.title_id +
                      " is not a known Q.V. release; installed because its archives are Q.V.'s");
    }
  } else if (!files.title_id.empty() || has_list) {
    return false;
  } else {
    notes.push_back(
        "no path list and no title ID: could not confirm this is Q.V.; installed because it has the Brask Engine "
        "archive pair");
  }
  if (!has_list) {
    notes.push_back("pathid_list_ps4.bin is missing: enhanced textures cannot be generated; the game runs without it");
  }
  files.notes.insert(files.notes.end(), notes.begin(), notes.end());
  return true;
}

}  // namespace qv::setup
