// Only one library dialog is open at a time: a dialog started while another holds
// DialogCommand closes at once, touches neither the slot nor the device, and cannot empty the
// slot afterwards.
#include <gtest/gtest.h>

#include "FakeView.h"
#include "RecordingCommand.h"
#include "ui/DeviceConfigDialog.h"
#include "ui/PtzControlDialog.h"
#include "ui/VideoSettingsDialog.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

using testing::FakeView;
using testing::RecordingCommand;

class NoQueries final : public DeviceQueries {
 public:
  int calls = 0;
  bool QueryNetworkConfig(ICommand&, char*, char*, char*) override { return ++calls, false; }
  std::int32_t QueryBspVersion(ICommand&) override { return ++calls; }
  std::int32_t QueryNapiVersion(ICommand&) override { return ++calls; }
};

class NoPages final : public PageHost {
 public:
  int calls = 0;
  void CreatePage(Page) override { ++calls; }
  void PlacePage(Page, Rect) override { ++calls; }
  void ShowPage(Page, bool) override { ++calls; }
};

class SecondDialog : public ::testing::Test {
 protected:
  void SetUp() override { open.Start(&first); }

  // The refused dialog closed with 0 and left everything to the open one.
  void ExpectRefused(const FakeView& view) {
    EXPECT_EQ(view.log, std::vector<std::string>{"EndDialog(0)"});
    EXPECT_EQ(state.dialogCommand, &first);
    EXPECT_TRUE(second.calls.empty());
  }

  DialogState state;
  RecordingCommand first;
  RecordingCommand second;
  FakeView openView;
  PtzControlDialog open{state, openView};
};

TEST_F(SecondDialog, EachKindClosesAtOnceAndCannotEmptyTheSlotLater) {
  FakeView configView, ptzView, videoView;
  NoQueries queries;
  NoPages pages;
  DeviceConfigDialog config(state, configView, queries);
  PtzControlDialog ptz(state, ptzView);
  VideoSettingsDialog video(state, videoView, pages);
  state.ptzMotionActive = true;  // the open dialog's motion is not the refused one's to stop

  config.Start(&second);
  ptz.Start(&second);
  video.Start(&second);
  for (FakeView* view : {&configView, &ptzView, &videoView}) ExpectRefused(*view);
  EXPECT_EQ(queries.calls, 0);
  video.Command(IDC_TAB_PICTURE);
  EXPECT_EQ(pages.calls, 0);

  config.Command(IDC_CANCEL_BUTTON);
  ptz.Command(IDC_CANCEL_BUTTON);
  video.Command(IDC_OK_BUTTON);
  video.Destroyed();
  EXPECT_EQ(state.dialogCommand, &first);
  EXPECT_TRUE(first.calls.empty());
  EXPECT_TRUE(state.ptzMotionActive);
}

TEST_F(SecondDialog, TheOpenDialogKeepsWorkingWithItsOwnObject) {
  FakeView view;
  NoPages pages;
  VideoSettingsDialog refused(state, view, pages);
  refused.Start(&second);
  open.Pointer(IDC_PTZ_UP, true);
  EXPECT_EQ(first.calls, (std::vector<std::string>{"PtzTilt(1)"}));
  open.Command(IDC_CANCEL_BUTTON);

  // Once it has closed the next dialog opens normally.
  FakeView nextView;
  VideoSettingsDialog next(state, nextView, pages);
  next.Start(&second);
  EXPECT_FALSE(nextView.ended);
  EXPECT_EQ(state.dialogCommand, &second);
}

TEST_F(SecondDialog, ADialogGoneWithoutItsCloseCommandStillFreesTheSlot) {
  open.Destroyed();
  EXPECT_EQ(state.dialogCommand, nullptr);
}

}  // namespace
}  // namespace vml::ui
