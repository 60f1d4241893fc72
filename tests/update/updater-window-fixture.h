#pragma once
// The updater window built in this test process for a given language, driven
// by the messages its worker posts.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "foundation/win/window-thread.h"
#include "update/updater/updater-state.h"
#include "update/updater/updater-window.h"

namespace qv::test {

// Creates the window for `language`; destroys it at the end.
class UpdaterWindowHolder {
 public:
  explicit UpdaterWindowHolder(int language, const std::string& version = "1.2.0");
  ~UpdaterWindowHolder();
  UpdaterWindowHolder(const UpdaterWindowHolder&) = delete;
  UpdaterWindowHolder& operator=(const UpdaterWindowHolder&) = delete;

  qv::setup::win_updater::State& state() { return *state_; }
  HWND window() const { return state_->window; }
  void Phase(int phase, bool elevation_notice = false);
  void Progress(int permille);

 private:
  qv::setup::WindowThread thread_;
  std::unique_ptr<qv::setup::win_updater::State> state_;
};

}  // namespace qv::test
