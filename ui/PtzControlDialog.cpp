#include "ui/PtzControlDialog.h"

#include "VmlCmd/ICommand.h"
#include "ui/resource.h"

namespace vml::ui {

void PtzControlDialog::Start(ICommand* command) {
  if (!hold_.Take(command)) view_.EndDialog(0);
}

void PtzControlDialog::Command(int id) {
  if (id == IDC_OK_BUTTON || id == IDC_CANCEL_BUTTON) {
    Close();
    return;
  }
  ICommand* command = hold_.Command();
  if (command == nullptr) return;
  switch (id) {
    case IDC_PTZ_AUTO:
      state_.ptzAutoOn = view_.IsChecked(IDC_PTZ_AUTO);
      command->PtzAuto(state_.ptzAutoOn);
      break;
    case IDC_PTZ_LIGHT:
      command->SetPtzLight(view_.IsChecked(IDC_PTZ_LIGHT));
      break;
    case IDC_PTZ_WIPER:
      command->SetPtzWiper(view_.IsChecked(IDC_PTZ_WIPER));
      break;
    case IDC_PTZ_AUX1:
    case IDC_PTZ_AUX2:
    case IDC_PTZ_AUX3:
    case IDC_PTZ_AUX4:
      command->SetPtzAux(id - IDC_PTZ_AUX1, view_.IsChecked(id));
      break;
    default:
      break;
  }
}

void PtzControlDialog::Pointer(int id, bool leftButtonDown) {
  // Hovering over the auto button neither stops nor starts anything.
  if (id == IDC_PTZ_AUTO) return;
  ICommand* command = hold_.Command();
  if (command == nullptr) return;
  StopMotion(*command);
  if (!leftButtonDown) return;

  // Any press counts as the start of a motion, even on a control that moves nothing: the
  // next pointer event then sends a stop though nothing moved, which is harmless.
  state_.ptzMotionActive = true;
  switch (id) {
    case IDC_PTZ_UP:
      LeaveAuto();
      command->PtzTilt(1);
      break;
    case IDC_PTZ_DOWN:
      LeaveAuto();
      command->PtzTilt(-1);
      break;
    case IDC_PTZ_LEFT:
      LeaveAuto();
      command->PtzPan(-1);
      break;
    case IDC_PTZ_RIGHT:
      LeaveAuto();
      command->PtzPan(1);
      break;
    case IDC_PTZ_IRIS_OPEN:
      command->PtzIris(1);
      break;
    case IDC_PTZ_IRIS_CLOSE:
      command->PtzIris(-1);
      break;
    case IDC_PTZ_FOCUS_NEAR:
      command->PtzFocus(1);
      break;
    case IDC_PTZ_FOCUS_FAR:
      command->PtzFocus(-1);
      break;
    case IDC_PTZ_ZOOM_IN:
      command->PtzZoom(1);
      break;
    case IDC_PTZ_ZOOM_OUT:
      command->PtzZoom(-1);
      break;
    default:
      break;
  }
}

void PtzControlDialog::StopMotion(ICommand& command) {
  if (!state_.ptzMotionActive) return;
  command.PtzStop();
  state_.ptzMotionActive = false;
}

// A direction press only unchecks the box: ptzAutoOn keeps what the user last switched and no
// PtzAuto goes out, so a later press unchecks the (already unchecked) box again.
void PtzControlDialog::LeaveAuto() {
  if (state_.ptzAutoOn) view_.SetChecked(IDC_PTZ_AUTO, false);
}

// A head must not keep moving after its dialog is gone.
void PtzControlDialog::Close() {
  if (ICommand* command = hold_.Command()) StopMotion(*command);
  hold_.Release();
  view_.EndDialog(0);
}

}  // namespace vml::ui
