#include "update/updater/updater-state.h"

namespace qv::setup::win_updater {
namespace {

std::atomic<State*> current_state{nullptr};

}  // namespace

void State::SetVersion(std::string version) {
  std::lock_guard<std::mutex> lock(version_mutex_);
  version_ = std::move(version);
}

std::string State::Version() const {
  std::lock_guard<std::mutex> lock(version_mutex_);
  return version_;
}

State* CurrentState() { return current_state.load(); }

void SetCurrentState(State* state) { current_state.store(state); }

}  // namespace qv::setup::win_updater
