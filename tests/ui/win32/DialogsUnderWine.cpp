// Opens the library's three dialogs from VmlCmd.dll the way a host does and drives them from a
// thread timer on the host's own thread (the dialogs' modal loops dispatch it): the templates
// load with every control, the pages switch, a second dialog is refused while one is open, and
// each dialog closes with 0. Needs a display (xvfb-run under Wine); without one it reports 77,
// skipped.
//
//   vmlcmd_ui_wine [holdMilliseconds]   holds the video settings dialog open on its picture page
//                                       that long, for a screenshot
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "VmlCmd/ICommand.h"

namespace {

using CreateFunction = ICommand* (*)();

ICommand* command = nullptr;
int failures = 0;
int step = 0;
DWORD holdUntil = 0;
DWORD holdMilliseconds = 0;

void Check(bool condition, const char* what) {
  std::printf("%s: %s\n", condition ? "ok" : "FAILED", what);
  if (!condition) ++failures;
}

struct PageCount {
  HWND owner;
  int visible;
};

BOOL CALLBACK CountVisiblePages(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<PageCount*>(data);
  if (::GetWindow(window, GW_OWNER) == count->owner && ::IsWindowVisible(window)) ++count->visible;
  return TRUE;
}

int VisiblePages(HWND frame) {
  PageCount count{frame, 0};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CountVisiblePages, reinterpret_cast<LPARAM>(&count));
  return count.visible;
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

BOOL CALLBACK FindVisiblePage(HWND window, LPARAM data) {
  auto* found = reinterpret_cast<HWND*>(data);
  if (::GetWindow(window, GW_OWNER) == *found && ::IsWindowVisible(window)) {
    *found = window;
    return FALSE;
  }
  return TRUE;
}

HWND VisiblePage(HWND frame) {
  HWND found = frame;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindVisiblePage, reinterpret_cast<LPARAM>(&found));
  return found == frame ? nullptr : found;
}

RECT ScreenRect(HWND page, int id) {
  RECT rect{};
  ::GetWindowRect(::GetDlgItem(page, id), &rect);
  return rect;
}

// A mouse message at a screen point, with the cursor there as the platform would have it.
void Mouse(HWND page, UINT message, POINT screen) {
  ::SetCursorPos(screen.x, screen.y);
  POINT client = screen;
  ::ScreenToClient(page, &client);
  const auto bits =
      (static_cast<unsigned>(client.y) & 0xFFFFu) << 16 | (static_cast<unsigned>(client.x) & 0xFFFFu);
  ::SendMessageW(page, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, static_cast<LPARAM>(bits));
}

// Drags the template into the picture frame, 20 pixels right and 30 down of its corner.
void PlaceRegion(HWND page) {
  const RECT frame = ScreenRect(page, 1073);
  Check(frame.right - frame.left == 352 && frame.bottom - frame.top == 288, "the picture frame is 352 x 288");
  const RECT source = ScreenRect(page, 1067);
  Mouse(page, WM_LBUTTONDOWN, {(source.left + source.right) / 2, (source.top + source.bottom) / 2});
  Check(::IsWindowVisible(::GetDlgItem(page, 1075)) != FALSE, "the drag marker shows");
  const POINT drop{frame.left + 20, frame.top + 30};
  Mouse(page, WM_MOUSEMOVE, drop);
  Mouse(page, WM_LBUTTONUP, drop);
  Check(::GetDlgItem(page, 501) != nullptr, "region 501 is placed");
  Check(::IsWindowVisible(::GetDlgItem(page, 1075)) == FALSE, "the drag marker is hidden again");
  Check(
      ::GetDlgItemInt(page, 1013, nullptr, FALSE) == 20 && ::GetDlgItemInt(page, 1071, nullptr, FALSE) == 30,
      "its offset in the frame shows");
  Check(static_cast<LONG>(::GetDlgItemInt(page, 1070, nullptr, FALSE)) == source.right - source.left,
        "its width is the template's");
  Check(::IsWindowEnabled(::GetDlgItem(page, 1068)) != FALSE, "the region's controls are enabled");
  Mouse(page, WM_LBUTTONDOWN, {frame.right - 5, frame.bottom - 5});
  Check(::IsWindowEnabled(::GetDlgItem(page, 1068)) == FALSE, "a click on empty space disables them");
}

void CALLBACK VideoSettingsSteps(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND frame = ::FindWindowW(nullptr, L"视频设置");
  if (frame == nullptr) return;
  switch (step) {
    case 0:
      Check(VisiblePages(frame) == 0, "the page area is empty until a tab is pressed");
      Check(command->ShowPtzControlDialog() == 0, "a second dialog closes at once with 0");
      Check(::IsWindow(frame) != FALSE, "the open dialog stays");
      Click(frame, 1052);
      Check(VisiblePages(frame) == 1, "the picture page shows");
      holdUntil = ::GetTickCount() + holdMilliseconds;
      ++step;
      break;
    case 1:
      if (::GetTickCount() < holdUntil) return;
      Click(frame, 1053);
      Check(VisiblePages(frame) == 1, "the mask page replaces it");
      PlaceRegion(VisiblePage(frame));
      Click(frame, 1055);
      Check(VisiblePages(frame) == 1, "the overlay page replaces it");
      ++step;
      break;
    default:
      ::KillTimer(nullptr, timer);
      ::PostMessageW(frame, WM_COMMAND, IDOK, 0);
      break;
  }
}

void CALLBACK DeviceConfigSteps(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::FindWindowW(nullptr, L"设备配置");
  if (dialog == nullptr) return;
  ::KillTimer(nullptr, timer);
  HWND protocols = ::GetDlgItem(dialog, 1034);
  Check(::SendMessageW(protocols, CB_GETCOUNT, 0, 0) == 2, "two protocols in the list");
  Check(::SendMessageW(protocols, CB_GETCURSEL, 0, 0) == 0, "the first one selected");
  wchar_t text[16] = {};
  ::GetDlgItemTextW(dialog, 1032, text, 16);
  Check(std::wcscmp(text, L"0") == 0, "no device: the baud rate shows 0");
  Click(dialog, IDCANCEL);
}

void CALLBACK PtzSteps(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::FindWindowW(nullptr, L"云台控制");
  if (dialog == nullptr) return;
  ::KillTimer(nullptr, timer);
  Check((::GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) == 0, "no close box");
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  holdMilliseconds = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 0;
  // The host registers the common controls; the library does not.
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_INTERNET_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&classes);

  // Without a display no window can be made at all: skipped, not failed.
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) {
    std::printf("no display: skipped\n");
    return 77;
  }
  ::DestroyWindow(probe);

  HMODULE library = ::LoadLibraryA("VmlCmd.dll");
  if (library == nullptr) return 2;
  auto create =
      reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "CreateICommand")));
  if (create == nullptr) return 2;
  command = create();

  ::SetTimer(nullptr, 0, 100, &DeviceConfigSteps);
  Check(command->ShowDeviceConfigDialog() == 0, "the device configuration dialog closes with 0");
  ::SetTimer(nullptr, 0, 100, &PtzSteps);
  Check(command->ShowPtzControlDialog() == 0, "the PTZ dialog closes with 0");
  ::SetTimer(nullptr, 0, 100, &VideoSettingsSteps);
  Check(command->ShowVideoSettingsDialog() == 0, "the video settings dialog closes with 0");

  command->Release();
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
