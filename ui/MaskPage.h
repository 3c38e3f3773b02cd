// "遮挡设置": the user drags the region template into the 352 x 288 picture frame to place a
// mask region, and clicks a placed region to see its position and size. The page works on
// screen only and sends nothing to the device.
//
// Positions are pixels; the numbers shown are relative to the picture frame's client area.
// Regions cannot be moved, resized or deleted once placed. Each region is a child window of
// the page whose control identifier is its entry's id, so MaskRegionList refers to windows by
// identifier, and the page empties the list when it is destroyed.
#pragma once

#include "ui/DialogState.h"
#include "ui/View.h"

namespace vml::ui {

class MaskPage {
 public:
  MaskPage(DialogState& state, View& view) : state_(state), view_(view) {}

  void Start();
  // Mouse events at a point in page client coordinates.
  void LeftButtonDown(Point point);
  void MouseMove(Point point);
  void LeftButtonUp(Point point);
  // The page lost the mouse capture to someone else (another window, the system).
  void CaptureLost();
  void Destroyed();

 private:
  void SelectByCursor();
  void CreateRegion();
  void ShowRegionNumbers(Point frameOffset, std::int32_t width, std::int32_t height);
  void EnableRegionControls(bool enabled);
  void EndDrag();

  DialogState& state_;
  View& view_;
};

}  // namespace vml::ui
