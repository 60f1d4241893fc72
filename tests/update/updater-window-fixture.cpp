#include "updater-window-fixture.h"

#include <string>

namespace qv::test {

UpdaterWindowHolder::UpdaterWindowHolder(int language, const std::string& version)
    : state_(std::make_unique<qv::setup::win_updater::State>()) {
  state_->arguments.language = language;
  state_->SetVersion(version);
  qv::setup::win_updater::SetCurrentState(state_.get());
  EXPECT_NE(qv::setup::win_updater::CreateUpdaterWindow(*state_, ::GetModuleHandleW(nullptr)), nullptr);
}

UpdaterWindowHolder::~UpdaterWindowHolder() {
  if (state_->window != nullptr && ::IsWindow(state_->window)) ::DestroyWindow(state_->window);
  // WM_DESTROY posted the end of a message loop that this test does not run.
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  qv::setup::win_updater::SetCurrentState(nullptr);
}

void UpdaterWindowHolder::Phase(int phase, bool elevation_notice) {
  ::SendMessageW(state_->window, qv::setup::win_updater::kPhaseMessage, static_cast<WPARAM>(phase),
                 elevation_notice ? 1 : 0);
}

void UpdaterWindowHolder::Progress(int permille) {
  ::SendMessageW(state_->window, qv::setup::win_updater::kProgressMessage, static_cast<WPARAM>(permille), 0);
}

}  // namespace qv::test
