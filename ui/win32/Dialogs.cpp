// The three modal dialogs on Windows: each binds its logic (ui/*.cpp) to a dialog window of
// the module's resources and maps the window messages onto it.
#include "ui/Dialogs.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "ui/DeviceConfigDialog.h"
#include "ui/DeviceQueries.h"
#include "ui/DialogState.h"
#include "ui/MaskPage.h"
#include "ui/PtzControlDialog.h"
#include "ui/VideoSettingsDialog.h"
#include "ui/resource.h"
#include "ui/win32/DialogWindow.h"

namespace vml::ui {
namespace win32 {
namespace {

// What every top-level dialog does with a command, the close box and its end; the page windows
// have no close box and no end of their own.
template <class Logic>
bool HandleTopLevel(Logic& logic, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_COMMAND:
      logic.Command(LowWord(wParam));
      return true;
    case WM_CLOSE:
      logic.Command(IDCANCEL);
      return true;
    case WM_DESTROY:
      logic.Destroyed();
      return false;  // the platform still tears the window down
    default:
      return false;
  }
}

class DeviceConfigWindow final : public DialogWindow {
 public:
  DeviceConfigWindow(DialogState& state, ICommand* command)
      : logic_(state, Controls(), NapiDeviceQueries()), command_(command) {}

 private:
  bool Handle(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start(command_);
        result = FALSE;  // no default focus
        return true;
      default:
        return HandleTopLevel(logic_, message, wParam);
    }
  }

  DeviceConfigDialog logic_;
  ICommand* command_;
};

class PtzControlWindow final : public DialogWindow {
 public:
  PtzControlWindow(DialogState& state, ICommand* command) : logic_(state, Controls()), command_(command) {}

 private:
  bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start(command_);
        result = TRUE;
        return true;
      case WM_SETCURSOR: {
        HWND under = reinterpret_cast<HWND>(wParam);
        const int id = under == Window() ? 0 : ::GetDlgCtrlID(under);
        logic_.Pointer(id, HighWord(static_cast<std::uintptr_t>(lParam)) == WM_LBUTTONDOWN);
        // Left to the default handling so that the cursor still gets its shape.
        return false;
      }
      default:
        return HandleTopLevel(logic_, message, wParam);
    }
  }

  PtzControlDialog logic_;
  ICommand* command_;
};

class PicturePageWindow final : public DialogWindow {
 public:
  explicit PicturePageWindow(DialogState& state) : logic_(state, Controls()) {}

 private:
  bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start();
        result = FALSE;
        return true;
      case WM_HSCROLL:
        if (lParam != 0) logic_.Scroll(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LowWord(wParam));
        return true;
      case WM_COMMAND:
        logic_.Command(LowWord(wParam));
        return true;
      default:
        return false;
    }
  }

  PicturePage logic_;
};

class MaskPageWindow final : public DialogWindow {
 public:
  explicit MaskPageWindow(DialogState& state) : logic_(state, Controls()) {}

 private:
  bool Handle(UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start();
        result = FALSE;
        return true;
      case WM_LBUTTONDOWN:
        logic_.LeftButtonDown(MousePoint(lParam));
        return true;
      case WM_MOUSEMOVE:
        logic_.MouseMove(MousePoint(lParam));
        return true;
      case WM_LBUTTONUP:
        logic_.LeftButtonUp(MousePoint(lParam));
        return true;
      case WM_CAPTURECHANGED:
        logic_.CaptureLost();
        return true;
      case WM_COMMAND:
        return true;
      case WM_DESTROY:
        logic_.Destroyed();
        return true;
      default:
        return false;
    }
  }

  MaskPage logic_;
};

// No behaviour: its commands are swallowed, its mouse left alone.
class MotionPageWindow final : public DialogWindow {
 private:
  bool Handle(UINT message, WPARAM, LPARAM, LRESULT& result) override {
    if (message == WM_INITDIALOG) {
      result = FALSE;
      return true;
    }
    return message == WM_COMMAND;
  }
};

class OsdPageWindow final : public DialogWindow {
 public:
  explicit OsdPageWindow(DialogState& state) : logic_(state, Controls()) {}

 private:
  bool Handle(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start();
        result = FALSE;
        return true;
      case WM_COMMAND:
        logic_.Command(LowWord(wParam));
        return true;
      default:
        return false;
    }
  }

  OsdPage logic_;
};

// The frame owns its pages: they are created with it, destroyed with it (owned windows go
// before their owner), and their objects live here until DialogBoxParamA has returned. Only
// one frame is open at a time, so these are the module's page windows.
class VideoSettingsWindow final : public DialogWindow, public PageHost {
 public:
  VideoSettingsWindow(DialogState& state, ICommand* command)
      : picture_(state), mask_(state), osd_(state), logic_(state, Controls(), *this), command_(command) {}

  void CreatePage(Page page) override {
    static constexpr int kResources[] = {IDD_PICTURE_PAGE, IDD_MASK_PAGE, IDD_MOTION_PAGE, IDD_OSD_PAGE};
    const auto index = static_cast<std::size_t>(page);
    windows_[index] = Binding(page).CreateModeless(kResources[index], Window());
  }

  void PlacePage(Page page, Rect screen) override {
    if (HWND window = windows_[static_cast<std::size_t>(page)]) {
      ::MoveWindow(window, screen.left, screen.top, screen.Width(), screen.Height(), TRUE);
    }
  }

  void ShowPage(Page page, bool shown) override {
    if (HWND window = windows_[static_cast<std::size_t>(page)])
      ::ShowWindow(window, shown ? SW_SHOW : SW_HIDE);
  }

 private:
  DialogWindow& Binding(Page page) {
    switch (page) {
      case Page::Picture:
        return picture_;
      case Page::Mask:
        return mask_;
      case Page::Motion:
        return motion_;
      case Page::Osd:
        break;
    }
    return osd_;
  }

  bool Handle(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        logic_.Start(command_);
        result = TRUE;
        return true;
      case WM_MOVE:
        logic_.Moved();
        return false;
      default:
        return HandleTopLevel(logic_, message, wParam);
    }
  }

  PicturePageWindow picture_;
  MaskPageWindow mask_;
  MotionPageWindow motion_;
  OsdPageWindow osd_;
  std::array<HWND, 4> windows_{};
  VideoSettingsDialog logic_;
  ICommand* command_;
};

std::int32_t Run(DialogWindow& dialog, int resourceId) {
  return static_cast<std::int32_t>(dialog.RunModal(resourceId));
}

}  // namespace
}  // namespace win32

std::int32_t ShowDialog(DialogKind kind, ICommand* command) {
  try {
    DialogState& state = ModuleDialogState();
    switch (kind) {
      case DialogKind::DeviceConfig: {
        win32::DeviceConfigWindow dialog(state, command);
        return win32::Run(dialog, IDD_DEVICE_CONFIG);
      }
      case DialogKind::PtzControl: {
        win32::PtzControlWindow dialog(state, command);
        return win32::Run(dialog, IDD_PTZ_CONTROL);
      }
      case DialogKind::VideoSettings: {
        win32::VideoSettingsWindow dialog(state, command);
        return win32::Run(dialog, IDD_VIDEO_SETTINGS);
      }
    }
  } catch (...) {
    // Nothing was shown.
  }
  return -1;
}

}  // namespace vml::ui
