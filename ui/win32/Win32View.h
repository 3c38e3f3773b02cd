// View over one Win32 dialog window.
#pragma once

#include <windows.h>

#include "ui/View.h"

namespace vml::ui::win32 {

class Win32View final : public View {
 public:
  void Attach(HWND window) { window_ = window; }
  HWND Window() const { return window_; }

  void SetText(int id, const char* text) override;
  void GetText(int id, char* buffer, std::size_t size) override;
  void SetUnsigned(int id, std::uint32_t value) override;
  std::uint32_t GetUnsigned(int id) override;
  bool IsChecked(int id) override;
  void SetChecked(int id, bool checked) override;
  void AddComboItem(int id, const char* utf8Label) override;
  void SelectComboItem(int id, std::int32_t index) override;
  std::int32_t ComboSelection(int id) override;
  void SetTrackbarRange(int id, std::int32_t low, std::int32_t high) override;
  std::int32_t TrackbarPosition(int id) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void EndDialog(std::int32_t result) override;
  Rect ControlScreenRect(int id) override;
  Point ClientToScreen(Point point) override;
  Point ScreenToClient(Point point) override;
  Point ScreenToControl(int id, Point point) override;
  void MoveControl(int id, Rect rect) override;
  Point CursorPosition() override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void ShowCursor(bool shown) override;
  void CreateControlLike(int templateId, int newId) override;

 private:
  HWND Control(int id) const { return ::GetDlgItem(window_, id); }

  HWND window_ = nullptr;
};

}  // namespace vml::ui::win32
