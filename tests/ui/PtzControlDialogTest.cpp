#include "ui/PtzControlDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeView.h"
#include "RecordingCommand.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

using testing::FakeView;
using testing::RecordingCommand;
using Calls = std::vector<std::string>;

constexpr int kDialogItself = 0;

class PtzControl : public ::testing::Test {
 protected:
  void SetUp() override { dialog.Start(&command); }

  // The platform's sequence for a click: a cursor notification for the press, the command on
  // release (no notifications while the button holds the capture).
  void Click(int id) {
    dialog.Pointer(id, true);
    dialog.Command(id);
  }
  void Hover(int id) { dialog.Pointer(id, false); }

  DialogState state;
  FakeView view;
  RecordingCommand command;
  PtzControlDialog dialog{state, view};
};

TEST_F(PtzControl, EachMotionButtonMovesUntilTheNextPointerEvent) {
  const struct {
    int id;
    const char* call;
  } buttons[] = {{IDC_PTZ_UP, "PtzTilt(1)"},          {IDC_PTZ_DOWN, "PtzTilt(-1)"},
                 {IDC_PTZ_LEFT, "PtzPan(-1)"},        {IDC_PTZ_RIGHT, "PtzPan(1)"},
                 {IDC_PTZ_IRIS_OPEN, "PtzIris(1)"},   {IDC_PTZ_IRIS_CLOSE, "PtzIris(-1)"},
                 {IDC_PTZ_FOCUS_NEAR, "PtzFocus(1)"}, {IDC_PTZ_FOCUS_FAR, "PtzFocus(-1)"},
                 {IDC_PTZ_ZOOM_IN, "PtzZoom(1)"},     {IDC_PTZ_ZOOM_OUT, "PtzZoom(-1)"}};
  for (const auto& button : buttons) {
    command.calls.clear();
    Click(button.id);
    EXPECT_TRUE(state.ptzMotionActive);
    Hover(button.id);
    Hover(kDialogItself);
    EXPECT_EQ(command.calls, (Calls{button.call, "PtzStop()"})) << button.id;
    EXPECT_FALSE(state.ptzMotionActive);
  }
}

TEST_F(PtzControl, APressOnAnotherButtonStopsFirstThenMoves) {
  Click(IDC_PTZ_ZOOM_IN);
  Click(IDC_PTZ_LEFT);
  EXPECT_EQ(command.calls, (Calls{"PtzZoom(1)", "PtzStop()", "PtzPan(-1)"}));
}

TEST_F(PtzControl, HoveringOverTheAutoButtonSendsNoStop) {
  Click(IDC_PTZ_RIGHT);
  Hover(IDC_PTZ_AUTO);
  EXPECT_EQ(command.calls, (Calls{"PtzPan(1)"}));
  Hover(kDialogItself);
  EXPECT_EQ(command.calls, (Calls{"PtzPan(1)", "PtzStop()"}));
}

TEST_F(PtzControl, ATogglePressCountsAsAMotionAndItsCommandSwitchesTheOutput) {
  view.checked[IDC_PTZ_AUX1] = true;
  Click(IDC_PTZ_AUX1);
  view.checked[IDC_PTZ_AUX4] = false;
  Click(IDC_PTZ_AUX4);
  view.checked[IDC_PTZ_LIGHT] = true;
  dialog.Command(IDC_PTZ_LIGHT);
  dialog.Command(IDC_PTZ_WIPER);
  Hover(kDialogItself);
  EXPECT_EQ(command.calls, (Calls{"SetPtzAux(0,1)", "PtzStop()", "SetPtzAux(3,0)", "SetPtzLight(1)",
                                  "SetPtzWiper(0)", "PtzStop()"}));
}

TEST_F(PtzControl, ADirectionPressUnchecksTheAutoBoxButKeepsTheFlag) {
  view.checked[IDC_PTZ_AUTO] = true;
  Click(IDC_PTZ_AUTO);
  EXPECT_TRUE(state.ptzAutoOn);
  EXPECT_FALSE(state.ptzMotionActive);  // the auto button never starts a motion

  Click(IDC_PTZ_UP);
  EXPECT_FALSE(view.checked[IDC_PTZ_AUTO]);
  EXPECT_TRUE(state.ptzAutoOn);
  view.log.clear();
  Click(IDC_PTZ_DOWN);
  EXPECT_EQ(view.log, (Calls{"SetChecked(1037,0)"}));  // unchecked again
  EXPECT_EQ(command.calls, (Calls{"PtzAuto(1)", "PtzTilt(1)", "PtzStop()", "PtzTilt(-1)"}));

  // Iris, focus and zoom leave the box alone.
  view.checked[IDC_PTZ_AUTO] = true;
  Click(IDC_PTZ_ZOOM_OUT);
  EXPECT_TRUE(view.checked[IDC_PTZ_AUTO]);
}

TEST_F(PtzControl, ClosingStopsAMotionStillActive) {
  Click(IDC_PTZ_LEFT);
  dialog.Command(IDC_CANCEL_BUTTON);  // Esc while the head moves
  EXPECT_EQ(command.calls, (Calls{"PtzPan(-1)", "PtzStop()"}));
  EXPECT_FALSE(state.ptzMotionActive);
  EXPECT_EQ(state.dialogCommand, nullptr);
  EXPECT_EQ(view.endResult, 0);
}

TEST_F(PtzControl, TheAutoFlagOutlivesTheDialog) {
  view.checked[IDC_PTZ_AUTO] = true;
  dialog.Command(IDC_PTZ_AUTO);
  dialog.Command(IDC_OK_BUTTON);

  FakeView nextView;
  PtzControlDialog next(state, nextView);
  next.Start(&command);
  next.Pointer(IDC_PTZ_RIGHT, true);
  EXPECT_EQ(nextView.log, (Calls{"SetChecked(1037,0)"}));
}

}  // namespace
}  // namespace vml::ui
