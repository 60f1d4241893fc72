#include "routes/route-queue-args.h"

#include <optional>
#include <string_view>

#include "routes/route-log.h"
#include "routes/route-options.h"
#include "routes/route-queue-text.h"
#include "update/updater/route-work-folders.h"

namespace qv::setup {
namespace {

// One byte per character: the list syntax is ASCII, and anything else can only
// make an item malformed.
std::string Narrowed(std::wstring_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) narrow.push_back(static_cast<char>(c & 0xFF));
  return narrow;
}

}  // namespace

route_queue_win::Args ParseRouteQueueArgs(int argc, const wchar_t* const* argv, const FileSystemView& view,
                                          AbsoluteFolder absolute) {
  route_queue_win::Args args;
  if (argc < 4 || std::wstring_view(argv[1]) != L"--route-queue") return args;
  std::optional<std::filesystem::path> game_folder = FolderArgument(argv[2], absolute);
  if (!game_folder) return args;
  args.game_folder = *game_folder;

  std::string operations_text;
  std::filesystem::path given_dlss5_work;
  std::filesystem::path given_fg_work;
  bool usable = true;
  ReadRouteOptions(argc, argv, 3, args.game_process_id, args.language, args.relaunch_arguments,
                   [&](std::wstring_view option, std::wstring_view value) {
                     if (option == L"--ops") {
                       operations_text = Narrowed(value);
                       return true;
                     }
                     if (option != L"--nr-work" && option != L"--fg-work") return false;
                     std::filesystem::path folder;
                     // An empty value is a folder not given (the route's items
                     // are left out); one the system refuses makes the line unusable.
                     if (!value.empty()) {
                       std::optional<std::filesystem::path> normal = FolderArgument(value, absolute);
                       usable = usable && normal.has_value();
                       if (normal) folder = *normal;
                     }
                     (option == L"--nr-work" ? given_dlss5_work : given_fg_work) = folder;
                     return true;
                   });
  if (!usable) return route_queue_win::Args{};

  args.dlss5_work_folder = DefaultDlss5WorkFolder(args.game_folder);
  args.fg_work_folder = DefaultFgWorkFolder(args.game_folder);

  std::vector<RouteQueueItem> parsed;
  if (!ParseRouteQueue(operations_text, parsed)) {
    LogRouteQueue(args.game_folder, "the list of operations was not understood: " + operations_text, view);
  }
  for (const RouteQueueItem& item : parsed) {
    const bool dlss5 = item.kind == RouteKind::kDlss5;
    if (IsSameWorkFolder(dlss5 ? given_dlss5_work : given_fg_work,
                         dlss5 ? args.dlss5_work_folder : args.fg_work_folder)) {
      MergeRouteQueueItem(args.operations, item.kind, item.action);
    } else {
      LogRouteQueue(args.game_folder,
                    std::string(RouteKindWord(item.kind)) + ": the work folder is not the game's own, left out", view);
    }
  }
  args.valid = true;
  return args;
}

}  // namespace qv::setup
