// "云台控制": the head moves from a press on a direction, iris, focus or zoom button until the
// next pointer event that is not over the auto button; toggles switch auto mode, light,
// wiper and the auxiliary outputs.
//
// Pointer events: on Windows the cursor notification (WM_SETCURSOR). A push button keeps the
// mouse captured from press to release and no such notification arrives meanwhile, so the stop
// goes out at the first notification after the release, normally the first mouse movement.
#pragma once

#include "ui/DialogState.h"
#include "ui/View.h"

namespace vml::ui {

class PtzControlDialog {
 public:
  PtzControlDialog(DialogState& state, View& view) : state_(state), view_(view), hold_(state) {}

  void Start(ICommand* command);
  // A button click, by control identifier.
  void Command(int id);
  // A pointer event over control id (0: the dialog itself); leftButtonDown when the event is
  // the left button going down.
  void Pointer(int id, bool leftButtonDown);
  void Destroyed() { hold_.Release(); }

 private:
  void Close();
  void StopMotion(ICommand& command);
  void LeaveAuto();

  DialogState& state_;
  View& view_;
  DialogCommandHold hold_;
};

}  // namespace vml::ui
