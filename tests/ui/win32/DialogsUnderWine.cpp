// Opens the library's three dialogs from VmlCmd.dll the way a host does, against the native
// simulator (reached through its control channel, VMLCMD_SIM_CONTROL), and drives them with
// window messages from a thread timer on the host's own thread: the dialogs' modal loops
// dispatch it, and every message is sent, so each device operation a control starts has
// finished when SendMessage returns and the device can be asked what it received. Needs a
// display (xvfb-run under Wine); without one it reports 77, skipped.
//
//   vmlcmd_ui_wine                    the checks
//   vmlcmd_ui_wine --screenshots DIR  the same, stopping at each dialog and page: it writes
//                                     DIR/NAME.ready holding the window's screen rectangle
//                                     (left top width height) and goes on once the file is
//                                     gone (scripts/screenshots.sh)
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "napisim/Types.h"
#include "support/TestDevice.h"

namespace {

using CreateFunction = ICommand* (*)();
using napisim::DeviceState;
using napisim::RecordedRequest;

// The whole run, screenshots aside, takes a few seconds; the watchdog ends a hung run before
// CTest's own time-out so that the output says where it stopped.
constexpr DWORD kRunLimitMs = 50000;
constexpr DWORD kScreenshotRunLimitMs = 180000;
constexpr DWORD kDialogOpenLimitMs = 10000;
constexpr DWORD kScreenshotWaitMs = 30000;

ICommand* command = nullptr;
vml::testing::TestDevice* device = nullptr;
int failures = 0;
std::atomic<const char*> currentStage{"start"};
std::string screenshotFolder;
const DWORD startTick = ::GetTickCount();

void Check(bool condition, const char* what) {
  std::printf("%s: %s\n", condition ? "ok" : "FAILED", what);
  if (!condition) ++failures;
}

template <typename T>
void CheckEqual(const T& actual, const T& expected, const char* what) {
  Check(actual == expected, what);
  if (!(actual == expected)) {
    std::printf("    expected %s, got %s\n", std::to_string(expected).c_str(),
                std::to_string(actual).c_str());
  }
}

void CheckEqual(const std::string& actual, const std::string& expected, const char* what) {
  Check(actual == expected, what);
  if (actual != expected) std::printf("    expected \"%s\", got \"%s\"\n", expected.c_str(), actual.c_str());
}

DWORD WINAPI Watchdog(LPVOID limit) {
  ::Sleep(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(limit)));
  std::printf("FAILED: still running after %lu ms, at: %s\n",
              static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(limit)), currentStage.load());
  std::fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return 0;
}

// ---- The device side -------------------------------------------------------------------

// What reached the device since the last clear, without the logins that open every exchange.
std::vector<RecordedRequest> DeviceCommands() {
  std::vector<RecordedRequest> commands;
  for (RecordedRequest& request : device->Requests()) {
    if (request.command != napisim::kLoginCommand) commands.push_back(std::move(request));
  }
  return commands;
}

std::string CodesOf(const std::vector<RecordedRequest>& requests) {
  std::string codes;
  for (const RecordedRequest& request : requests)
    codes += (codes.empty() ? "" : " ") + std::to_string(request.command);
  return codes;
}

// The number after "-letter " in a request text; -1 when there is none.
int OptionOf(const RecordedRequest& request, char letter) {
  const std::string text = request.text.c_str();  // up to a counted NUL
  const std::string key = std::string("-") + letter + " ";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return -1;
  return std::atoi(text.c_str() + at + key.size());
}

// The action numbers of the head commands (60) that reached the device, in order.
std::string HeadActions() {
  std::string actions;
  for (const RecordedRequest& request : DeviceCommands()) {
    if (request.command == 60)
      actions += (actions.empty() ? "" : " ") + std::to_string(OptionOf(request, 'c'));
  }
  return actions;
}

// ---- Windows and messages ---------------------------------------------------------------

std::wstring TextOf(HWND window, int id) {
  wchar_t text[128] = {};
  ::GetDlgItemTextW(window, id, text, 128);
  return text;
}

std::string AnsiTextOf(HWND window, int id) {
  char text[128] = {};
  ::GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

// Texts in the host's ANSI code page, as the library exchanges them with the device.
std::string Ansi(const wchar_t* text) {
  char bytes[128] = {};
  BOOL lossy = FALSE;
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, &lossy);
  return lossy ? std::string() : std::string(bytes);
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool IsChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Typing into an edit: everything selected, then one character message per key.
void Type(HWND dialog, int id, const wchar_t* text) {
  HWND edit = ::GetDlgItem(dialog, id);
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  ::SendMessageW(edit, WM_CHAR, VK_BACK, 0);
  for (const wchar_t* c = text; *c != L'\0'; ++c) ::SendMessageW(edit, WM_CHAR, *c, 1);
}

// A list entry picked: the selection, then the notification the combo box sends its parent.
void Pick(HWND dialog, int id, int index) {
  HWND list = ::GetDlgItem(dialog, id);
  ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void SetAddress(HWND dialog, int id, BYTE a, BYTE b, BYTE c, BYTE d) {
  ::SendDlgItemMessageW(dialog, id, IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(a, b, c, d)));
}

// Stops for scripts/screenshots.sh: the window's rectangle goes into the flag file, and the
// dialog keeps painting until the script has taken its picture and removed the file.
void Screenshot(HWND window, const char* name) {
  if (screenshotFolder.empty()) return;
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const std::string flag = screenshotFolder + "/" + name + ".ready";
  const std::string partial = flag + ".tmp";
  if (FILE* file = std::fopen(partial.c_str(), "w")) {
    std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top);
    std::fclose(file);
    ::MoveFileA(partial.c_str(), flag.c_str());
  }
  const DWORD until = ::GetTickCount() + kScreenshotWaitMs;
  while (::GetFileAttributesA(flag.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (static_cast<LONG>(::GetTickCount() - until) > 0) {
      Check(false, "the screenshot was taken in time");
      ::DeleteFileA(flag.c_str());
      return;
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(20);
  }
}

// ---- Device configuration ----------------------------------------------------------------

// No target yet: every read fails and the fields show what a failed read leaves.
void DeviceConfigWithoutDevice(HWND dialog) {
  HWND protocols = ::GetDlgItem(dialog, 1034);
  Check(::SendMessageW(protocols, CB_GETCOUNT, 0, 0) == 2, "two protocols in the list");
  Check(::SendMessageW(protocols, CB_GETCURSEL, 0, 0) == 0, "the first one selected");
  Check(TextOf(dialog, 1032) == L"0", "no device: the baud rate shows 0");
}

void DeviceConfigOnDevice(HWND dialog) {
  const DeviceState before = device->State();
  // The library puts the addresses in as window text. Windows' address control parses it into
  // its four fields; Wine's keeps it as the window's text alone, so it is read back as text.
  CheckEqual(AnsiTextOf(dialog, 1009), before.network.ip, "the device IP shows the device's");
  CheckEqual(AnsiTextOf(dialog, 1010), before.network.mask, "the subnet mask shows the device's");
  CheckEqual(AnsiTextOf(dialog, 1011), before.network.gateway, "the gateway shows the device's");
  CheckEqual(static_cast<int>(::GetDlgItemInt(dialog, 1032, nullptr, FALSE)), before.serialBaud.at(1),
             "the baud rate shows serial port 1's");
  // Both version queries take the first number of the device's one version reply.
  CheckEqual(static_cast<int>(::GetDlgItemInt(dialog, 1077, nullptr, FALSE)), before.bspVersion,
             "the BSP version shows the device's");
  CheckEqual(static_cast<int>(::GetDlgItemInt(dialog, 1076, nullptr, FALSE)), before.bspVersion,
             "the NAPI version field shows the same reading");
  Check(::GetWindowTextLengthW(::GetDlgItem(dialog, 1035)) == 0, "the head addresses are not read");
  if (!screenshotFolder.empty()) {
    // For the picture only: the fields as Windows shows them (see above).
    for (int id : {1009, 1010, 1011}) {
      unsigned a = 0, b = 0, c = 0, d = 0;
      if (std::sscanf(AnsiTextOf(dialog, id).c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4) {
        SetAddress(dialog, id, static_cast<BYTE>(a), static_cast<BYTE>(b), static_cast<BYTE>(c),
                   static_cast<BYTE>(d));
      }
    }
  }
  Screenshot(dialog, "device-config");

  SetAddress(dialog, 1009, 192, 0, 2, 90);
  SetAddress(dialog, 1010, 255, 255, 0, 0);
  SetAddress(dialog, 1011, 192, 0, 2, 254);
  Type(dialog, 1032, L"4800");
  Type(dialog, 1035, L"17");
  Type(dialog, 1037, L"3");
  Pick(dialog, 1034, 1);
  Pick(dialog, 1036, 0);
  device->ClearRequests();
  Click(dialog, 1078);

  const std::vector<RecordedRequest> sent = DeviceCommands();
  CheckEqual(CodesOf(sent), std::string("4 62 62 6 61 61"),
             "apply: network, two head addresses, baud rate, two protocols, in that order");
  const DeviceState after = device->State();
  CheckEqual(after.network.ip, std::string("192.0.2.90"), "the device took the typed IP address");
  CheckEqual(after.network.mask, std::string("255.255.0.0"), "and the subnet mask");
  CheckEqual(after.network.gateway, std::string("192.0.2.254"), "and the gateway");
  CheckEqual(after.serialBaud.at(1), 4800, "the device took the typed baud rate");
  CheckEqual(after.ptzHeads[0].address, 17, "head 1 took address 17");
  CheckEqual(after.ptzHeads[1].address, 3, "head 2 took address 3");
  CheckEqual(after.ptzHeads[0].protocol, 2, "head 1 took the second protocol");
  CheckEqual(after.ptzHeads[1].protocol, 1, "head 2 took the first protocol");
  Check(::IsWindowVisible(dialog) != FALSE, "the dialog stays open after applying");

  device->ClearRequests();
  Click(dialog, 1078);
  CheckEqual(CodesOf(DeviceCommands()), std::string("4 62 62 6 61 61"), "applying again sends the six again");
  Click(dialog, IDCANCEL);
}

// ---- PTZ control -------------------------------------------------------------------------

// The platform's cursor notification for a mouse message over a control: the control's
// default handling hands it to the dialog first.
void Cursor(HWND dialog, int id, UINT mouseMessage) {
  HWND under = id == 0 ? dialog : ::GetDlgItem(dialog, id);
  ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, mouseMessage));
}

// A press as the platform delivers it: the cursor notification, then the button message.
void Press(HWND dialog, int id) {
  Cursor(dialog, id, WM_LBUTTONDOWN);
  ::SendMessageW(::GetDlgItem(dialog, id), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
}

// The button holds the capture until the release, so the next notification is the first move
// after it.
void Release(HWND dialog, int id) {
  ::SendMessageW(::GetDlgItem(dialog, id), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

void PtzControl(HWND dialog) {
  Check((::GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) == 0, "no close box");
  Screenshot(dialog, "ptz-control");
  device->ClearRequests();

  Press(dialog, 1014);
  CheckEqual(HeadActions(), std::string("4"), "pressing 右 pans right");
  CheckEqual(device->State().videoPorts.at(0).ptz.action, 4, "the head of video port 0 moves");
  Release(dialog, 1014);
  CheckEqual(HeadActions(), std::string("4"), "releasing sends nothing yet");
  Cursor(dialog, 1037, WM_MOUSEMOVE);
  CheckEqual(HeadActions(), std::string("4"), "moving over 自动 sends no stop");
  Cursor(dialog, 0, WM_MOUSEMOVE);
  CheckEqual(HeadActions(), std::string("4 12"), "the first move elsewhere stops the head");
  CheckEqual(device->State().videoPorts.at(0).ptz.action, 0, "the head stands still");
  Cursor(dialog, 0, WM_MOUSEMOVE);
  CheckEqual(HeadActions(), std::string("4 12"), "further moves send nothing");

  device->ClearRequests();
  Click(dialog, 1037);
  Check(IsChecked(dialog, 1037), "自动 is ticked");
  CheckEqual(HeadActions(), std::string("11"), "ticking 自动 switches auto mode on");
  Check(device->State().videoPorts.at(0).ptz.autoMode, "the device is in auto mode");
  Click(dialog, 1037);
  CheckEqual(HeadActions(), std::string("11 12"), "unticking it switches auto mode off");
  Check(!device->State().videoPorts.at(0).ptz.autoMode, "the device left auto mode");

  Click(dialog, 1037);
  device->ClearRequests();
  Press(dialog, 1011);
  Check(!IsChecked(dialog, 1037), "pressing 上 in auto mode unticks 自动");
  CheckEqual(HeadActions(), std::string("1"), "and tilts up, with no auto command");
  Release(dialog, 1011);
  Cursor(dialog, 0, WM_MOUSEMOVE);
  CheckEqual(HeadActions(), std::string("1 12"), "the move after the release stops it");

  device->ClearRequests();
  Click(dialog, 1003);
  Click(dialog, 1038);
  Check(IsChecked(dialog, 1003) && IsChecked(dialog, 1038), "灯光 and 辅助1 switch on screen");
  Check(DeviceCommands().empty(), "light and auxiliary outputs send nothing");
}

// ---- Video settings -----------------------------------------------------------------------

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

// Under Wine the cursor is the X server's: a warp reaches GetCursorPos late, and the pointer
// event of an earlier warp can still arrive and move it back. So the cursor counts as there
// only once it has read right for longer than Wine keeps its own copy of the position (about
// 100 ms, after which it asks the X server), with the pending input events taken in between.
// Bounded: if it never settles, the check that follows says what went wrong.
void PlaceCursor(POINT screen) {
  constexpr int kSteadyReads = 15;
  ::SetCursorPos(screen.x, screen.y);
  POINT now{};
  int steady = 0;
  for (int tries = 0; tries < 300 && steady < kSteadyReads; ++tries) {
    MSG pending;
    ::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT);
    ::Sleep(10);
    if (::GetCursorPos(&now) && now.x == screen.x && now.y == screen.y) {
      ++steady;
    } else {
      steady = 0;
      ::SetCursorPos(screen.x, screen.y);
    }
  }
  if (steady < kSteadyReads)
    std::printf("    the cursor stays at %ld,%ld, not %ld,%ld\n", now.x, now.y, screen.x, screen.y);
}

// A mouse message at a screen point, with the cursor there as the platform would have it.
void Mouse(HWND page, UINT message, POINT screen) {
  PlaceCursor(screen);
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
  CheckEqual(static_cast<int>(::GetDlgItemInt(page, 1013, nullptr, FALSE)), 20,
             "its left offset in the frame shows");
  CheckEqual(static_cast<int>(::GetDlgItemInt(page, 1071, nullptr, FALSE)), 30,
             "its top offset in the frame shows");
  Check(static_cast<LONG>(::GetDlgItemInt(page, 1070, nullptr, FALSE)) == source.right - source.left,
        "its width is the template's");
  Check(::IsWindowEnabled(::GetDlgItem(page, 1068)) != FALSE, "the region's controls are enabled");
  Mouse(page, WM_LBUTTONDOWN, {frame.right - 5, frame.bottom - 5});
  Check(::IsWindowEnabled(::GetDlgItem(page, 1068)) == FALSE, "a click on empty space disables them");
}

// A slider moved by the user: the thumb dragged (position notifications), then released.
void Slide(HWND page, int id, int position) {
  HWND slider = ::GetDlgItem(page, id);
  ::SendMessageW(slider, TBM_SETPOS, TRUE, position);
  ::SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(slider));
  ::SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
}

void PicturePage(HWND page) {
  HWND brightness = ::GetDlgItem(page, 1083);
  ::SendMessageW(brightness, TBM_SETPOS, TRUE, 200);
  ::SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 200), reinterpret_cast<LPARAM>(brightness));
  Check(TextOf(page, 1057) == L"200", "the value edit follows the thumb");
  Check(DeviceCommands().empty(), "nothing is written while the thumb moves");
  ::SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(brightness));
  CheckEqual(device->State().videoPorts.at(0).picture.brightness, 200, "releasing writes the brightness");

  Slide(page, 1086, 100);
  CheckEqual(device->State().videoPorts.at(0).picture.hue, 100 - 128, "the hue arrives shifted by 128");
  Slide(page, 1087, 1000);
  CheckEqual(device->State().videoPorts.at(0).encoder.bitrate, 1000, "the bitrate slider writes the encoder");
  Check(TextOf(page, 1061) == L"1000", "and its value edit shows 1000");

  // The trackbar's own keyboard handling: End moves to the top of the range, the key's
  // release ends the move.
  HWND frameRate = ::GetDlgItem(page, 1088);
  ::SendMessageW(frameRate, WM_KEYDOWN, VK_END, 0);
  ::SendMessageW(frameRate, WM_KEYUP, VK_END, 0);
  CheckEqual(device->State().videoPorts.at(0).encoder.frameRate, 30,
             "End on the frame rate slider writes 30");
  Check(TextOf(page, 1062) == L"30", "and its value edit shows 30");

  device->ClearRequests();
  Click(page, 1014);
  Check(IsChecked(page, 1014) && DeviceCommands().empty(), "静音 is not an operation of the device");
}

void OsdPage(HWND page, const std::wstring& caption) {
  Check(::SendDlgItemMessageW(page, 1007, CB_GETCURSEL, 0, 0) == 2, "the caption position shows 3-右上");
  Check(IsChecked(page, 1026), "the caption is shown");
  Check(TextOf(page, 1027) == caption, "the caption text is the device's");
  Check(::SendDlgItemMessageW(page, 1008, CB_GETCURSEL, 0, 0) == 5, "the time position shows 6-左下");
  Check(IsChecked(page, 1028), "the time is shown");
}

void OsdApply(HWND page) {
  const wchar_t* newCaption = Ansi(L"南门").empty() ? L"South" : L"南门";
  ::SetDlgItemTextW(page, 1027, newCaption);
  Click(page, 1028);
  Pick(page, 1008, 7);
  device->ClearRequests();
  Click(page, 1078);
  CheckEqual(CodesOf(DeviceCommands()), std::string("25 25"), "确定 writes the caption, then the time");
  const napisim::Overlay overlay = device->State().videoPorts.at(0).overlay;
  CheckEqual(overlay.caption, Ansi(newCaption), "the device took the edited caption");
  Check(overlay.captionShown, "still shown");
  CheckEqual(overlay.captionPosition, 3, "at the position it had");
  Check(!overlay.timeShown, "the time is no longer shown");
  CheckEqual(overlay.timePosition, 8, "at the picked position 8");
}

std::wstring seededCaption;

void VideoSettings(HWND frame) {
  Check(VisiblePages(frame) == 0, "the page area is empty until a tab is pressed");
  Check(command->ShowPtzControlDialog() == 0, "a second dialog closes at once with 0");
  Check(::IsWindow(frame) != FALSE, "the open dialog stays");
  Screenshot(frame, "video-settings");

  device->ClearRequests();
  Click(frame, 1052);
  Check(VisiblePages(frame) == 1, "the picture page shows");
  PicturePage(VisiblePage(frame));
  Screenshot(frame, "video-settings-picture");

  Click(frame, 1053);
  Check(VisiblePages(frame) == 1, "the mask page replaces it");
  device->ClearRequests();
  PlaceRegion(VisiblePage(frame));
  Check(DeviceCommands().empty(), "placing a region sends nothing");
  Screenshot(frame, "video-settings-mask");

  Click(frame, 1054);
  Check(VisiblePages(frame) == 1, "the motion page replaces it");
  Screenshot(frame, "video-settings-motion");

  Click(frame, 1055);
  Check(VisiblePages(frame) == 1, "the overlay page replaces it");
  HWND osd = VisiblePage(frame);
  OsdPage(osd, seededCaption);
  Screenshot(frame, "video-settings-osd");
  OsdApply(osd);
  ::PostMessageW(frame, WM_COMMAND, IDOK, 0);
}

// ---- Running a dialog ---------------------------------------------------------------------

struct Scene {
  const wchar_t* title;
  void (*script)(HWND);
  DWORD opened;
};

Scene scene{};

void CALLBACK RunScene(HWND, UINT, UINT_PTR timer, DWORD) {
  // The modal loop shows the dialog once its queue is first empty; a timer due before that
  // finds it still hidden.
  HWND dialog = ::FindWindowW(nullptr, scene.title);
  if (dialog == nullptr || ::IsWindowVisible(dialog) == FALSE) {
    if (::GetTickCount() - scene.opened > kDialogOpenLimitMs) {
      ::KillTimer(nullptr, timer);
      Check(false, "the dialog showed");
    }
    return;
  }
  ::KillTimer(nullptr, timer);
  try {
    scene.script(dialog);
  } catch (const std::exception& error) {
    Check(false, error.what());
  }
  // Whatever the script did, the dialog goes.
  if (::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Shows a dialog through the table and runs the script on it once it is up.
int Show(const char* stage, int32_t (ICommand::*show)(), const wchar_t* title, void (*script)(HWND)) {
  currentStage = stage;
  std::printf("== %s (%lu ms)\n", stage, static_cast<unsigned long>(::GetTickCount() - startTick));
  scene = Scene{title, script, ::GetTickCount()};
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunScene);
  const int result = (command->*show)();
  ::KillTimer(nullptr, timer);
  return result;
}

// The device's starting state, written by the host through the table before a dialog opens.
bool SeedDevice() {
  seededCaption = Ansi(L"北门 3").empty() ? L"North 3" : L"北门 3";
  char caption[64] = {};
  ::WideCharToMultiByte(CP_ACP, 0, seededCaption.c_str(), -1, caption, sizeof caption, nullptr, nullptr);
  return command->SetNetworkConfig("192.0.2.77", "255.255.255.128", "192.0.2.126") &&
         command->SetSerialBaudRate(19200) && command->SetOsdCaption(true, 2, caption) &&
         command->SetOsdTime(true, 5);
}

int Run(HMODULE library) {
  auto create =
      reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "CreateICommand")));
  if (create == nullptr) return 2;
  command = create();

  Check(Show("device configuration without a device", &ICommand::ShowDeviceConfigDialog, L"设备配置",
             &DeviceConfigWithoutDevice) == 0,
        "the device configuration dialog closes with 0");

  vml::testing::TestDevice simulator;
  device = &simulator;
  currentStage = "the simulator's control channel";
  simulator.Start();
  Check(command->SetNetworkTarget("127.0.0.1", simulator.Port(), "admin", "admin"), "the target is set");
  Check(SeedDevice(), "the host writes the device's starting settings");

  Check(Show("device configuration", &ICommand::ShowDeviceConfigDialog, L"设备配置", &DeviceConfigOnDevice) ==
            0,
        "the device configuration dialog closes with 0");
  Check(Show("PTZ control", &ICommand::ShowPtzControlDialog, L"云台控制", &PtzControl) == 0,
        "the PTZ dialog closes with 0");
  CheckEqual(HeadActions(), std::string(), "closing the PTZ dialog at rest sends no stop");
  Check(Show("video settings", &ICommand::ShowVideoSettingsDialog, L"视频设置", &VideoSettings) == 0,
        "the video settings dialog closes with 0");

  device = nullptr;
  command->Release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 3 && std::strcmp(argv[1], "--screenshots") == 0) screenshotFolder = argv[2];
  const DWORD limit = screenshotFolder.empty() ? kRunLimitMs : kScreenshotRunLimitMs;
  if (HANDLE watchdog = ::CreateThread(nullptr, 0, &Watchdog,
                                       reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(limit)), 0, nullptr)) {
    ::CloseHandle(watchdog);
  }

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
  int result = 0;
  try {
    result = Run(library);
  } catch (const std::exception& error) {
    std::printf("FAILED at %s: %s\n", currentStage.load(), error.what());
    ++failures;
  }
  if (result != 0) return result;
  std::printf("%d failure(s) in %lu ms (code page %u)\n", failures,
              static_cast<unsigned long>(::GetTickCount() - startTick), ::GetACP());
  return failures == 0 ? 0 : 1;
}
