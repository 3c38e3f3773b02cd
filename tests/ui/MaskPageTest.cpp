#include "ui/MaskPage.h"

#include <gtest/gtest.h>

#include "FakeView.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

using testing::FakeView;

constexpr int kRegionControls[] = {IDC_REGION_ENABLE, IDC_REGION_TOP, IDC_REGION_LEFT, IDC_REGION_WIDTH,
                                   IDC_REGION_HEIGHT};

// Page client area at 100, 50 on the screen; the template is 69 x 50 pixels; the picture frame
// starts at 130, 11 and gets its 352 x 288 pixels at start, so it ends at 482, 299.
class MaskPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.origin = {100, 50};
    view.controls[IDC_REGION_PICTURE] = {130, 11, 514, 280};
    view.controls[IDC_REGION_TEMPLATE] = {29, 30, 98, 80};
    view.controls[IDC_REGION_MARKER] = {43, 315, 118, 338};
    page.Start();
  }

  // The platform's sequence: the cursor is where the mouse message says.
  void Down(Point p) {
    view.cursor = view.ClientToScreen(p);
    page.LeftButtonDown(p);
  }
  void Move(Point p) {
    view.cursor = view.ClientToScreen(p);
    page.MouseMove(p);
  }
  void Up(Point p) {
    view.cursor = view.ClientToScreen(p);
    page.LeftButtonUp(p);
  }
  void Drop(Point p) {
    Down({40, 40});
    Move(p);
    Up(p);
  }
  std::string Numbers() {
    return view.texts[IDC_REGION_LEFT] + "," + view.texts[IDC_REGION_TOP] + "," +
           view.texts[IDC_REGION_WIDTH] + "," + view.texts[IDC_REGION_HEIGHT];
  }
  bool ControlsEnabled() {
    for (int id : kRegionControls) {
      if (!view.enabled[id]) return false;
    }
    return true;
  }

  DialogState state;
  FakeView view;
  MaskPage page{state, view};
};

TEST_F(MaskPageTest, APressOnTheTemplateDragsTheMarkerAndAReleaseOutsideTheFrameMakesNothing) {
  Down({40, 40});
  EXPECT_TRUE(state.maskDragging);
  EXPECT_TRUE(view.captured);
  EXPECT_EQ(view.cursorShowCount, -1);
  EXPECT_TRUE(view.shown[IDC_REGION_MARKER]);
  const Rect marker = view.controls[IDC_REGION_MARKER];
  EXPECT_EQ(marker.left, 29);
  EXPECT_EQ(marker.top, 30);
  EXPECT_EQ(marker.Width(), 69);
  EXPECT_EQ(marker.Height(), 50);

  Move({300, 200});
  EXPECT_EQ(view.controls[IDC_REGION_MARKER].left, 300);
  EXPECT_EQ(view.controls[IDC_REGION_MARKER].Width(), 69);

  Up({40, 40});
  EXPECT_FALSE(state.maskDragging);
  EXPECT_FALSE(view.captured);
  EXPECT_EQ(view.cursorShowCount, 0);
  EXPECT_FALSE(view.shown[IDC_REGION_MARKER]);
  EXPECT_TRUE(view.created.empty());
  EXPECT_TRUE(state.maskRegionList.empty());
}

TEST_F(MaskPageTest, ADropInsideTheFramePlacesRegion501AndShowsItsOffsetAndSize) {
  Drop({200, 100});
  ASSERT_EQ(state.maskRegionList.size(), 1u);
  EXPECT_EQ(state.maskRegionList[0].id, 501);
  EXPECT_FALSE(state.maskRegionList[0].enabled);
  EXPECT_EQ(view.created, (std::vector<int>{501}));
  const Rect region = view.controls[501];
  EXPECT_EQ(region.left, 200);
  EXPECT_EQ(region.top, 100);
  EXPECT_EQ(region.Width(), 69);
  EXPECT_EQ(region.Height(), 50);
  EXPECT_EQ(Numbers(), "70,89,69,50");
  EXPECT_EQ(state.maskSelectedId, 501);
  EXPECT_TRUE(ControlsEnabled());
  EXPECT_FALSE(view.shown[IDC_REGION_MARKER]);
}

TEST_F(MaskPageTest, TheTemplateMustFitWhollyInsideTheFrame) {
  Drop({482 - 69, 100});  // right edge on the frame's right edge
  Drop({200, 299 - 50});  // bottom edge on the frame's bottom edge
  Drop({129, 100});       // left of the frame
  EXPECT_TRUE(state.maskRegionList.empty());
  Drop({482 - 70, 299 - 51});
  Drop({130, 11});
  EXPECT_EQ(state.maskRegionList.size(), 2u);
}

TEST_F(MaskPageTest, IdsCountUpByPositionInTheList) {
  Drop({140, 20});
  Drop({240, 20});
  Drop({340, 20});
  EXPECT_EQ(view.created, (std::vector<int>{501, 502, 503}));
  EXPECT_EQ(state.maskSelectedId, 503);
}

TEST_F(MaskPageTest, AClickSelectsTheOldestRegionUnderTheCursor) {
  Drop({200, 100});
  Drop({230, 120});  // overlaps the first
  Down({235, 125});
  EXPECT_EQ(state.maskSelectedId, 501);
  EXPECT_EQ(Numbers(), "70,89,69,50");
  Down({290, 160});  // only in the second
  EXPECT_EQ(state.maskSelectedId, 502);
  EXPECT_EQ(Numbers(), "100,109,69,50");
}

TEST_F(MaskPageTest, AClickOnEmptySpaceDisablesTheControlsButKeepsTheNumbers) {
  Drop({200, 100});
  Down({400, 250});
  EXPECT_EQ(state.maskSelectedId, 0);
  for (int id : kRegionControls) EXPECT_FALSE(view.enabled[id]) << id;
  EXPECT_EQ(Numbers(), "70,89,69,50");
  // Starting a drag clears the selection without disabling them again.
  view.enabled.clear();
  Drop({200, 100});
  Down({40, 40});
  EXPECT_EQ(state.maskSelectedId, 0);
  EXPECT_TRUE(ControlsEnabled());
}

TEST_F(MaskPageTest, LosingTheCaptureEndsTheDragWithoutARegion) {
  Down({40, 40});
  page.CaptureLost();
  EXPECT_EQ(view.cursorShowCount, 0);
  EXPECT_FALSE(view.shown[IDC_REGION_MARKER]);
  Up({200, 100});
  EXPECT_TRUE(state.maskRegionList.empty());
}

TEST_F(MaskPageTest, DestroyingThePageForgetsItsRegionsAndTheNextPageStartsAt501) {
  Drop({200, 100});
  Drop({300, 100});
  Down({40, 40});  // destroyed in the middle of a drag
  page.Destroyed();
  EXPECT_TRUE(state.maskRegionList.empty());
  EXPECT_FALSE(state.maskDragging);
  EXPECT_EQ(view.cursorShowCount, 0);

  FakeView nextView;
  nextView.controls = {{IDC_REGION_PICTURE, {130, 11, 514, 280}},
                       {IDC_REGION_TEMPLATE, {29, 30, 98, 80}},
                       {IDC_REGION_MARKER, {43, 315, 118, 338}}};
  MaskPage next(state, nextView);
  next.Start();
  next.LeftButtonDown({40, 40});
  nextView.cursor = {200, 100};
  next.LeftButtonUp({200, 100});
  EXPECT_EQ(nextView.created, (std::vector<int>{501}));
  // Nothing of the old page is looked at.
  nextView.cursor = {205, 105};
  next.LeftButtonDown({205, 105});
  EXPECT_EQ(state.maskSelectedId, 501);
}

}  // namespace
}  // namespace vml::ui
