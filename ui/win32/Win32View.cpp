#include "ui/win32/Win32View.h"

#include <commctrl.h>

#include <climits>
#include <string>

#include "platform/win32/Module.h"

namespace vml::ui::win32 {
namespace {

POINT ToPoint(Point point) { return {point.x, point.y}; }
Point FromPoint(POINT point) { return {point.x, point.y}; }

// The list labels are UTF-8 literals; the controls take them as UTF-16 so that they read the
// same under any ANSI code page.
std::wstring Wide(const char* utf8) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

WPARAM Index(std::int32_t index) { return static_cast<WPARAM>(static_cast<INT_PTR>(index)); }

}  // namespace

void Win32View::SetText(int id, const char* text) { ::SetDlgItemTextA(window_, id, text); }

void Win32View::GetText(int id, char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  const int capacity = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  ::GetDlgItemTextA(window_, id, buffer, capacity);
}

void Win32View::SetUnsigned(int id, std::uint32_t value) { ::SetDlgItemInt(window_, id, value, FALSE); }

std::uint32_t Win32View::GetUnsigned(int id) { return ::GetDlgItemInt(window_, id, nullptr, FALSE); }

bool Win32View::IsChecked(int id) { return ::IsDlgButtonChecked(window_, id) == BST_CHECKED; }

void Win32View::SetChecked(int id, bool checked) {
  ::CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32View::AddComboItem(int id, const char* utf8Label) {
  const std::wstring label = Wide(utf8Label);
  ::SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
}

void Win32View::SelectComboItem(int id, std::int32_t index) {
  ::SendDlgItemMessageA(window_, id, CB_SETCURSEL, Index(index), 0);
}

std::int32_t Win32View::ComboSelection(int id) {
  return static_cast<std::int32_t>(::SendDlgItemMessageA(window_, id, CB_GETCURSEL, 0, 0));
}

void Win32View::SetTrackbarRange(int id, std::int32_t low, std::int32_t high) {
  const auto range =
      (static_cast<std::uint32_t>(high) & 0xFFFFu) << 16 | (static_cast<std::uint32_t>(low) & 0xFFFFu);
  ::SendDlgItemMessageA(window_, id, TBM_SETRANGE, TRUE, static_cast<LPARAM>(range));
}

std::int32_t Win32View::TrackbarPosition(int id) {
  return static_cast<std::int32_t>(::SendDlgItemMessageA(window_, id, TBM_GETPOS, 0, 0));
}

void Win32View::EnableControl(int id, bool enabled) {
  if (HWND control = Control(id)) ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32View::ShowControl(int id, bool shown) {
  if (HWND control = Control(id)) ::ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void Win32View::EndDialog(std::int32_t result) { ::EndDialog(window_, result); }

Rect Win32View::ControlScreenRect(int id) {
  RECT rect{};
  HWND control = Control(id);
  if (control == nullptr || !::GetWindowRect(control, &rect)) return {};
  return {rect.left, rect.top, rect.right, rect.bottom};
}

Point Win32View::ClientToScreen(Point point) {
  POINT converted = ToPoint(point);
  ::ClientToScreen(window_, &converted);
  return FromPoint(converted);
}

Point Win32View::ScreenToClient(Point point) {
  POINT converted = ToPoint(point);
  ::ScreenToClient(window_, &converted);
  return FromPoint(converted);
}

Point Win32View::ScreenToControl(int id, Point point) {
  POINT converted = ToPoint(point);
  if (HWND control = Control(id)) ::ScreenToClient(control, &converted);
  return FromPoint(converted);
}

void Win32View::MoveControl(int id, Rect rect) {
  if (HWND control = Control(id))
    ::MoveWindow(control, rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
}

Point Win32View::CursorPosition() {
  POINT position{};
  ::GetCursorPos(&position);
  return FromPoint(position);
}

void Win32View::CaptureMouse() { ::SetCapture(window_); }

void Win32View::ReleaseMouse() { ::ReleaseCapture(); }

void Win32View::ShowCursor(bool shown) { ::ShowCursor(shown ? TRUE : FALSE); }

void Win32View::CreateControlLike(int templateId, int newId) {
  HWND source = Control(templateId);
  if (source == nullptr) return;
  const auto style = static_cast<DWORD>(::GetWindowLongA(source, GWL_STYLE));
  const auto extendedStyle = static_cast<DWORD>(::GetWindowLongA(source, GWL_EXSTYLE));
  ::CreateWindowExA(extendedStyle, "Button", nullptr, style, 0, 0, 0, 0, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(newId)), platform::win32::ModuleHandle(),
                    nullptr);
}

}  // namespace vml::ui::win32
