#include "ui/win32/DialogWindow.h"

#include "platform/win32/Module.h"

namespace vml::ui::win32 {
namespace {

LPCSTR Resource(int id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

}  // namespace

INT_PTR DialogWindow::RunModal(int resourceId) {
  return ::DialogBoxParamA(platform::win32::ModuleHandle(), Resource(resourceId), nullptr, &Procedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND DialogWindow::CreateModeless(int resourceId, HWND owner) {
  return ::CreateDialogParamA(platform::win32::ModuleHandle(), Resource(resourceId), owner, &Procedure,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    if (self != nullptr) self->view_.Attach(window);
  } else {
    // Messages before WM_INITDIALOG (WM_SETFONT, ...) find no object and get the defaults.
    self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (self == nullptr) return FALSE;

  INT_PTR answer = FALSE;
  try {
    LRESULT result = 0;
    if (self->Handle(message, wParam, lParam, result)) {
      if (message == WM_INITDIALOG) {
        answer = result;
      } else {
        ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        answer = TRUE;
      }
    }
  } catch (...) {
    // The message gets the default handling instead.
    answer = FALSE;
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->view_.Attach(nullptr);
  }
  return answer;
}

}  // namespace vml::ui::win32
