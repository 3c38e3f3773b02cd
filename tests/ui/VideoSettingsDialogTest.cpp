#include "ui/VideoSettingsDialog.h"

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

constexpr int kThumbTrack = 5;
constexpr int kEndTrack = 8;

class RecordingPages final : public PageHost {
 public:
  Calls log;
  void CreatePage(Page page) override { log.push_back("Create" + Name(page)); }
  void PlacePage(Page page, Rect r) override {
    log.push_back("Place" + Name(page) + "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                  std::to_string(r.Width()) + "," + std::to_string(r.Height()) + ")");
  }
  void ShowPage(Page page, bool shown) override { log.push_back((shown ? "Show" : "Hide") + Name(page)); }

 private:
  static std::string Name(Page page) {
    const char* names[] = {"Picture", "Mask", "Motion", "Osd"};
    return names[static_cast<int>(page)];
  }
};

class VideoSettingsFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    view.origin = {200, 100};
    view.controls[IDC_PAGE_AREA] = {14, 28, 686, 400};
  }

  DialogState state;
  FakeView view;
  RecordingPages pages;
  RecordingCommand command;
  VideoSettingsDialog frame{state, view, pages};
};

TEST_F(VideoSettingsFrame, PagesAreCreatedAndFollowThePageAreaButNoneShowsUntilATabIsPressed) {
  frame.Start(&command);
  EXPECT_EQ(pages.log, (Calls{"CreatePicture", "CreateMask", "CreateMotion", "CreateOsd",
                              "PlacePicture(214,128,672,372)", "PlaceMask(214,128,672,372)",
                              "PlaceMotion(214,128,672,372)", "PlaceOsd(214,128,672,372)"}));
  pages.log.clear();
  view.origin = {50, 60};
  frame.Moved();
  EXPECT_EQ(pages.log.at(0), "PlacePicture(64,88,672,372)");
  EXPECT_EQ(pages.log.size(), 4u);
}

TEST_F(VideoSettingsFrame, ATabHidesAllPagesThenShowsItsOwn) {
  frame.Start(&command);
  pages.log.clear();
  frame.Command(IDC_TAB_MOTION);
  EXPECT_EQ(pages.log, (Calls{"HidePicture", "HideMask", "HideMotion", "HideOsd", "ShowMotion"}));
}

class PicturePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.dialogCommand = &command;
    page.Start();
  }

  DialogState state;
  FakeView view;
  RecordingCommand command;
  PicturePage page{state, view};
};

TEST_F(PicturePageTest, TheEditFollowsEveryStepAndTheDeviceGetsOneWriteAtTheEnd) {
  for (int position : {70, 85, 100}) {
    view.positions[IDC_SLIDER_BITRATE] = position;
    page.Scroll(IDC_SLIDER_BITRATE, kThumbTrack);
    EXPECT_EQ(view.texts[IDC_VALUE_BITRATE], std::to_string(position));
  }
  EXPECT_TRUE(command.calls.empty());
  page.Scroll(IDC_SLIDER_BITRATE, kEndTrack);
  EXPECT_EQ(command.calls, (Calls{"SetVideoBitrate(100)"}));
}

TEST_F(PicturePageTest, EachSliderWritesItsOwnValue) {
  const struct {
    int slider;
    const char* call;
  } sliders[] = {{IDC_SLIDER_BRIGHTNESS, "SetBrightness(9)"},
                 {IDC_SLIDER_CONTRAST, "SetContrast(9)"},
                 {IDC_SLIDER_SATURATION, "SetSaturation(9)"},
                 {IDC_SLIDER_HUE, "SetHue(9)"},
                 {IDC_SLIDER_BITRATE, "SetVideoBitrate(9)"},
                 {IDC_SLIDER_FRAME_RATE, "SetVideoFrameRate(9)"},
                 {IDC_SLIDER_IFRAME_INTERVAL, "SetVideoIFrameInterval(9)"},
                 {IDC_SLIDER_QUANT_STEP, "SetVideoQuantStep(9)"},
                 {IDC_SLIDER_VOLUME, "SetAudioVolume(9)"}};
  for (const auto& slider : sliders) {
    command.calls.clear();
    view.positions[slider.slider] = 9;
    page.Scroll(slider.slider, kEndTrack);
    EXPECT_EQ(command.calls, Calls{slider.call});
  }
}

TEST_F(PicturePageTest, MuteSendsTheBoxState) {
  view.checked[IDC_PICTURE_MUTE] = true;
  page.Command(IDC_PICTURE_MUTE);
  page.Command(IDC_PICTURE_DEFAULTS);
  EXPECT_EQ(command.calls, (Calls{"SetAudioMute(1)"}));
}

class OsdPageTest : public ::testing::Test {
 protected:
  void SetUp() override { state.dialogCommand = &command; }

  DialogState state;
  FakeView view;
  RecordingCommand command;
  OsdPage page{state, view};
};

TEST_F(OsdPageTest, StartShowsTheDevicePositionsOneBelowTheWireNumbers) {
  command.numbers["GetVideoParamR"] = 6;
  command.captionShown = true;
  command.captionPosition = 3;
  command.captionBytes = std::string("Gate 1") + '\0';
  command.timeShown = true;
  command.timePosition = 8;
  page.Start();

  EXPECT_EQ(command.calls, (Calls{"GetVideoParamR()", "GetOsdCaption()", "GetOsdTime()"}));
  const Calls positions{"1-左上", "2-中上", "3-右上", "4-左中", "5-右中", "6-左下", "7-中下", "8-右下"};
  EXPECT_EQ(view.combos[IDC_OSD_CAPTION_POSITION].items, positions);
  EXPECT_EQ(view.combos[IDC_OSD_TIME_POSITION].items, positions);
  EXPECT_EQ(view.combos[IDC_OSD_CAPTION_POSITION].selection, 2);
  EXPECT_EQ(view.combos[IDC_OSD_TIME_POSITION].selection, 7);
  EXPECT_EQ(view.texts[IDC_OSD_CAPTION], "Gate 1");
  EXPECT_TRUE(view.checked[IDC_OSD_CAPTION_SHOWN]);
  EXPECT_TRUE(view.checked[IDC_OSD_TIME_SHOWN]);

  // Applying unchanged sends the indexes, which the setters turn back into 3 and 8.
  command.calls.clear();
  page.Command(IDC_OSD_APPLY);
  EXPECT_EQ(command.calls, (Calls{R"(SetOsdCaption(1,2,"Gate 1"))", "SetOsdTime(1,7)"}));
}

TEST_F(OsdPageTest, FailedReadsKeepTheEarlierSelectionAndLeaveTheBoxesUnchecked) {
  command.numbers["GetVideoParamR"] = 4;
  command.failing = {"GetOsdCaption", "GetOsdTime"};
  page.Start();
  EXPECT_EQ(view.combos[IDC_OSD_CAPTION_POSITION].selection, 4);
  EXPECT_EQ(view.combos[IDC_OSD_TIME_POSITION].selection, 0);
  EXPECT_FALSE(view.checked[IDC_OSD_CAPTION_SHOWN]);
  EXPECT_EQ(view.texts.count(IDC_OSD_CAPTION), 0u);
}

TEST_F(OsdPageTest, APositionOutsideTheListSelectsNothingAndAppliesAsIndexMinusOne) {
  command.captionPosition = 9;
  command.timePosition = 0;
  page.Start();
  EXPECT_EQ(view.combos[IDC_OSD_CAPTION_POSITION].selection, -1);
  command.calls.clear();
  page.Command(IDC_OSD_APPLY);
  EXPECT_EQ(command.calls, (Calls{R"(SetOsdCaption(0,-1,""))", "SetOsdTime(0,-1)"}));
}

TEST_F(OsdPageTest, TheCaptionStaysWithinItsFiftyBytes) {
  // A device that fills every byte of the buffer, NUL included.
  command.captionBytes = std::string(VMLCMD_CAPTION_BUFFER_SIZE, 'x');
  command.captionPosition = 1;
  page.Start();
  EXPECT_EQ(view.texts[IDC_OSD_CAPTION], std::string(VMLCMD_CAPTION_BUFFER_SIZE - 1, 'x'));

  // A user who typed more than fits: the rest is not sent.
  view.texts[IDC_OSD_CAPTION] = std::string(80, 'y');
  command.calls.clear();
  page.Command(IDC_OSD_APPLY);
  EXPECT_EQ(view.textSizesAsked, (std::vector<std::size_t>{VMLCMD_CAPTION_BUFFER_SIZE}));
  EXPECT_EQ(command.calls.at(0),
            "SetOsdCaption(0,0,\"" + std::string(VMLCMD_CAPTION_BUFFER_SIZE - 1, 'y') + "\")");
}

}  // namespace
}  // namespace vml::ui
