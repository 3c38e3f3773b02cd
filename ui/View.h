// The dialogs' logic sees its window through this interface: controls addressed by their
// identifier from resource.h, positions in pixels. The Win32 binding implements it over a
// dialog window; the tests implement it with a recording fake. The logic never asks the view
// to decide anything, so every rule of the dialogs lives in plain C++ next to this file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vml::ui {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  // The platform's rule: the left and top edges belong to the rectangle, the right and bottom
  // edges do not.
  bool Contains(Point point) const {
    return left <= point.x && point.x < right && top <= point.y && point.y < bottom;
  }
};

class View {
 public:
  virtual ~View() = default;

  // Texts are NUL-terminated bytes in the system's ANSI code page, as devices and hosts use
  // them; only the list labels, which are the library's own, are UTF-8.
  virtual void SetText(int id, const char* text) = 0;
  // Copies at most size bytes, the NUL included; size is at least 1.
  virtual void GetText(int id, char* buffer, std::size_t size) = 0;
  virtual void SetUnsigned(int id, std::uint32_t value) = 0;
  // 0 when the text is not an unsigned number.
  virtual std::uint32_t GetUnsigned(int id) = 0;

  virtual bool IsChecked(int id) = 0;
  virtual void SetChecked(int id, bool checked) = 0;

  virtual void AddComboItem(int id, const char* utf8Label) = 0;
  // An index outside the list leaves nothing selected.
  virtual void SelectComboItem(int id, std::int32_t index) = 0;
  // -1 when nothing is selected.
  virtual std::int32_t ComboSelection(int id) = 0;

  virtual void SetTrackbarRange(int id, std::int32_t low, std::int32_t high) = 0;
  virtual std::int32_t TrackbarPosition(int id) = 0;

  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void ShowControl(int id, bool shown) = 0;

  // Ends a modal dialog with this result once the current message is handled.
  virtual void EndDialog(std::int32_t result) = 0;

  // Geometry. A control that does not exist has an empty rectangle at 0, 0.
  virtual Rect ControlScreenRect(int id) = 0;
  virtual Point ClientToScreen(Point point) = 0;
  virtual Point ScreenToClient(Point point) = 0;
  // Converts a screen point into the client coordinates of one control.
  virtual Point ScreenToControl(int id, Point point) = 0;
  // Places a control; rect is in this window's client coordinates.
  virtual void MoveControl(int id, Rect rect) = 0;

  // The pointer, in screen coordinates, and the mouse capture of this window.
  virtual Point CursorPosition() = 0;
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  virtual void ShowCursor(bool shown) = 0;

  // Creates a child control with the class, style and extended style of templateId, no text,
  // identifier newId, at 0, 0 with size 0 x 0.
  virtual void CreateControlLike(int templateId, int newId) = 0;
};

}  // namespace vml::ui
