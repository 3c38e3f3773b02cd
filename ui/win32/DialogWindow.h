// A dialog window of the module's resources bound to one C++ object: the dialog procedure
// finds the object through the window's user data and hands it every message. No exception
// leaves the procedure; Windows would not know what to do with it.
#pragma once

#include <windows.h>

#include "ui/win32/Win32View.h"

namespace vml::ui::win32 {

class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  virtual ~DialogWindow() = default;

  // Runs the dialog modally without an owner; DialogBoxParamA's result, -1 when the dialog
  // cannot be created (for example when a control class is not registered).
  INT_PTR RunModal(int resourceId);
  // Creates the dialog modeless and owned by owner; null when it cannot be created.
  HWND CreateModeless(int resourceId, HWND owner);

  HWND Window() const { return view_.Window(); }

 protected:
  // Returns true when the message is handled; result is then its message result (for
  // WM_INITDIALOG: TRUE to let the platform set the keyboard focus). Unhandled messages get
  // the platform's default dialog handling.
  virtual bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

  Win32View& Controls() { return view_; }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Win32View view_;
};

// Mouse positions of WM_LBUTTONDOWN and friends: two signed 16-bit client coordinates.
inline Point MousePoint(LPARAM lParam) {
  const auto bits = static_cast<std::uint32_t>(lParam);
  return {static_cast<std::int16_t>(bits & 0xFFFFu), static_cast<std::int16_t>(bits >> 16)};
}

inline int LowWord(WPARAM value) { return static_cast<int>(value & 0xFFFFu); }
inline int HighWord(std::uintptr_t value) { return static_cast<int>((value >> 16) & 0xFFFFu); }

}  // namespace vml::ui::win32
