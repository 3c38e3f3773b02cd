#include "ui/MaskPage.h"

#include <cstdint>
#include <initializer_list>

#include "ui/resource.h"

namespace vml::ui {
namespace {

// The picture frame is the size of a CIF picture, whatever the dialog units make of it.
constexpr std::int32_t kPictureWidth = 352;
constexpr std::int32_t kPictureHeight = 288;

Rect At(Point topLeft, std::int32_t width, std::int32_t height) {
  return {topLeft.x, topLeft.y, topLeft.x + width, topLeft.y + height};
}

}  // namespace

void MaskPage::Start() {
  const Rect frame = view_.ControlScreenRect(IDC_REGION_PICTURE);
  const Point topLeft = view_.ScreenToClient({frame.left, frame.top});
  view_.MoveControl(IDC_REGION_PICTURE, At(topLeft, kPictureWidth, kPictureHeight));
}

void MaskPage::LeftButtonDown(Point point) {
  const Rect source = view_.ControlScreenRect(IDC_REGION_TEMPLATE);
  if (!source.Contains(view_.ClientToScreen(point))) {
    SelectByCursor();
    return;
  }
  view_.CaptureMouse();
  view_.ShowCursor(false);
  state_.maskDragging = true;
  // Starting a drag clears the selection but leaves the controls as they were.
  state_.maskSelectedId = 0;
  view_.ShowControl(IDC_REGION_MARKER, true);
  view_.MoveControl(IDC_REGION_MARKER,
                    At(view_.ScreenToClient({source.left, source.top}), source.Width(), source.Height()));
}

void MaskPage::MouseMove(Point point) {
  if (!state_.maskDragging) return;
  const Rect source = view_.ControlScreenRect(IDC_REGION_TEMPLATE);
  view_.MoveControl(IDC_REGION_MARKER, At(point, source.Width(), source.Height()));
}

// A region is made only when the template's whole rectangle, dropped with its top-left corner
// at the point, lies inside the picture frame.
void MaskPage::LeftButtonUp(Point point) {
  if (!state_.maskDragging) return;
  EndDrag();
  const Rect frame = view_.ControlScreenRect(IDC_REGION_PICTURE);
  const Rect source = view_.ControlScreenRect(IDC_REGION_TEMPLATE);
  const Point drop = view_.ClientToScreen(point);
  const Point farCorner{drop.x + source.Width(), drop.y + source.Height()};
  if (frame.Contains(drop) && frame.Contains(farCorner) && state_.maskSelectedId == 0) CreateRegion();
  view_.ShowControl(IDC_REGION_MARKER, false);
}

void MaskPage::CaptureLost() {
  if (!state_.maskDragging) return;
  // The release went elsewhere: drop nothing, but give the cursor back.
  EndDrag();
  view_.ShowControl(IDC_REGION_MARKER, false);
}

void MaskPage::Destroyed() {
  if (state_.maskDragging) EndDrag();
  state_.maskSelectedId = 0;
  state_.maskRegionList.clear();
}

void MaskPage::EndDrag() {
  state_.maskDragging = false;
  view_.ReleaseMouse();
  view_.ShowCursor(true);
}

// The oldest region under the cursor wins; a click on empty space clears the selection but
// leaves the last numbers in the (then disabled) edits.
void MaskPage::SelectByCursor() {
  const Point cursor = view_.CursorPosition();
  state_.maskSelectedId = 0;
  for (const MaskRegionEntry& entry : state_.maskRegionList) {
    const Rect region = view_.ControlScreenRect(entry.id);
    if (!region.Contains(cursor)) continue;
    state_.maskSelectedId = entry.id;
    const Point topLeft = view_.ScreenToControl(IDC_REGION_PICTURE, {region.left, region.top});
    const Point bottomRight = view_.ScreenToControl(IDC_REGION_PICTURE, {region.right, region.bottom});
    ShowRegionNumbers(topLeft, bottomRight.x - topLeft.x, bottomRight.y - topLeft.y);
    break;
  }
  EnableRegionControls(state_.maskSelectedId != 0);
}

void MaskPage::CreateRegion() {
  const auto id = static_cast<std::int32_t>(IDC_REGION_FIRST + state_.maskRegionList.size());
  state_.maskRegionList.push_back({id, false});
  view_.CreateControlLike(IDC_REGION_TEMPLATE, id);

  const Point cursor = view_.CursorPosition();
  const Rect marker = view_.ControlScreenRect(IDC_REGION_MARKER);
  view_.MoveControl(id, At(view_.ScreenToClient(cursor), marker.Width(), marker.Height()));
  ShowRegionNumbers(view_.ScreenToControl(IDC_REGION_PICTURE, cursor), marker.Width(), marker.Height());

  state_.maskSelectedId = id;
  EnableRegionControls(true);
}

void MaskPage::ShowRegionNumbers(Point frameOffset, std::int32_t width, std::int32_t height) {
  view_.SetUnsigned(IDC_REGION_TOP, static_cast<std::uint32_t>(frameOffset.y));
  view_.SetUnsigned(IDC_REGION_LEFT, static_cast<std::uint32_t>(frameOffset.x));
  view_.SetUnsigned(IDC_REGION_WIDTH, static_cast<std::uint32_t>(width));
  view_.SetUnsigned(IDC_REGION_HEIGHT, static_cast<std::uint32_t>(height));
}

void MaskPage::EnableRegionControls(bool enabled) {
  for (int id : {IDC_REGION_ENABLE, IDC_REGION_TOP, IDC_REGION_LEFT, IDC_REGION_WIDTH, IDC_REGION_HEIGHT}) {
    view_.EnableControl(id, enabled);
  }
}

}  // namespace vml::ui
