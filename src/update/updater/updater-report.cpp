#include "foundation/files/whole-file.h"
#include "foundation/logger.h"
#include "foundation/text/text.h"
#include "update/updater/result-dialog.h"
#include "update/updater/updater-work.h"

namespace qv::setup::win_updater {

void ReportOutcome(const State& state, const Outcome& outcome, const WorkerServices& services) {
  if (state.headless) {
    const std::string text = std::string(OutcomeWord(outcome.kind)) + " " + state.Version() + "\npage " + outcome.page +
                             "\ndetail " + outcome.detail + "\n";
    // Written as a new file where nothing is (whatever stood there removed as
    // itself), never through a link planted under the name.
    if (!WriteWholeFile(std::filesystem::path(state.result_file), text)) {
      Log(LogLevel::kError, "could not write the updater's result file");
    }
    return;
  }
  if (OutcomeShowsResultDialog(outcome.kind)) ShowUpdaterResultDialog(state.window, state.arguments.language, outcome);
  if (outcome.start_game) {
    services.start_game(std::filesystem::path(state.arguments.game_folder), state.arguments.pass_through,
                        services.is_elevated());
  }
}

}  // namespace qv::setup::win_updater
