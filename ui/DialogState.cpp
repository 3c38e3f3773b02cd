#include "ui/DialogState.h"

namespace vml::ui {

DialogState& ModuleDialogState() {
  static DialogState state;
  return state;
}

bool DialogCommandHold::Take(ICommand* command) {
  if (held_) return true;
  if (state_.dialogCommand != nullptr) return false;
  state_.dialogCommand = command;
  held_ = true;
  return true;
}

void DialogCommandHold::Release() {
  if (!held_) return;
  state_.dialogCommand = nullptr;
  held_ = false;
}

}  // namespace vml::ui
