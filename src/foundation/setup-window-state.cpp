#include "foundation/setup-window-state.h"

namespace qv::setup {

SetupWindowState SetupWindow;
std::atomic<bool> SetupCancelFlag{false};

}  // namespace qv::setup
