// A host as Microsoft's compiler builds one: compiled for the Microsoft ABI (clang with an
// *-pc-windows-msvc target) from the public header alone, linked by lld-link against VmlCmd.lib
// and a kernel32 import library, with no C runtime at all. It calls the object through the
// header's virtual functions, so every call below is laid out by the Microsoft C++ ABI (on x86:
// thiscall, bool results read from AL only, the callee popping its arguments) while the DLL
// was built by mingw with the Itanium ABI. Any difference in table order, calling convention or
// argument passing shows as a wrong value, a crash or a corrupted stack.
//
// It needs a simulated device: VMLCMD_DEVICE_PORT names its port on 127.0.0.1, and the ANSI
// code page must be 936 (Wine with LC_ALL=zh_CN.UTF-8) so that the texts are GBK. It prints one
// line per failed check, then a summary, and exits with the number of failed checks.
#include <stddef.h>
#include <stdint.h>

#include "VmlCmd/ICommand.h"

// The few kernel32 functions used, declared here: no Windows SDK is needed to build this.
extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* bytes, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) unsigned long __stdcall GetEnvironmentVariableA(const char* name, char* value,
                                                                      unsigned long size);
__declspec(dllimport) unsigned int __stdcall GetACP();

// The compiler may turn a loop or an initializer into a call of these two; without a C runtime
// the program brings its own.
void* memset(void* destination, int value, size_t size) {
  volatile unsigned char* out = static_cast<unsigned char*>(destination);
  while (size-- > 0) *out++ = static_cast<unsigned char>(value);
  return destination;
}
void* memcpy(void* destination, const void* source, size_t size) {
  volatile unsigned char* out = static_cast<unsigned char*>(destination);
  const unsigned char* in = static_cast<const unsigned char*>(source);
  while (size-- > 0) *out++ = *in++;
  return destination;
}
}

namespace {

constexpr unsigned long kStdOutput = static_cast<unsigned long>(-11);

int checks = 0;
int failures = 0;

size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

bool Same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

void Write(const char* text) {
  unsigned long written = 0;
  WriteFile(GetStdHandle(kStdOutput), text, static_cast<unsigned long>(Length(text)), &written, nullptr);
}

void WriteNumber(int32_t value) {
  char digits[12];
  int at = 11;
  digits[at] = '\0';
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--at] = '-';
  Write(digits + at);
}

void Check(bool ok, const char* what) {
  ++checks;
  if (ok) return;
  ++failures;
  Write("FAILED: ");
  Write(what);
  Write("\r\n");
}

// The port of VMLCMD_DEVICE_PORT, or 0.
int32_t DevicePort() {
  char text[16];
  unsigned long length = GetEnvironmentVariableA("VMLCMD_DEVICE_PORT", text, sizeof text);
  if (length == 0 || length >= sizeof text) return 0;
  int32_t port = 0;
  for (unsigned long i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    port = port * 10 + (text[i] - '0');
    if (port > 65535) return 0;
  }
  return port;
}

bool ErrorTextIs(ICommand* command, const char* gbk) {
  char text[64];
  memset(text, 'x', sizeof text);
  int32_t length = command->GetErrorText(static_cast<int32_t>(sizeof text), text);
  return length == static_cast<int32_t>(Length(gbk)) && Same(text, gbk);
}

// GBK under code page 936: 成功, 方法没有实现, 错误的视频端口, 无效的参数.
constexpr char kSuccessText[] = "\xb3\xc9\xb9\xa6";
constexpr char kNotImplementedText[] = "\xb7\xbd\xb7\xa8\xc3\xbb\xd3\xd0\xca\xb5\xcf\xd6";
constexpr char kWrongVideoPortText[] = "\xb4\xed\xce\xf3\xb5\xc4\xca\xd3\xc6\xb5\xb6\xcb\xbf\xda";
constexpr char kInvalidArgumentText[] = "\xce\xde\xd0\xa7\xb5\xc4\xb2\xce\xca\xfd";

// Slots that never reach a device: int and bool results, text buffers, the reserved slots with
// their argument counts (a callee popping more or fewer bytes than the caller pushed would
// corrupt this frame), and the texts in code page 936.
void LocalSlots(ICommand* command) {
  char name[16];
  memset(name, 'x', sizeof name);
  Check(command->GetVendorName(0, name) == 7 && Same(name, "vormel"),
        "GetVendorName(0) writes vormel, returns 7");
  memset(name, 'x', sizeof name);
  Check(command->GetVendorName(6, name) == 0 && name[0] == 'x', "GetVendorName(6) writes nothing");
  Check(command->GetVendorName(7, nullptr) == 0, "GetVendorName refuses a null buffer");

  Check(command->Reserved1() == 0, "Reserved1 returns 0");
  Check(command->Reserved2() == 1, "Reserved2 returns 1");
  Check(command->SetReservedValue(12345), "SetReservedValue returns true");
  for (int round = 0; round < 3; ++round) {
    Check(!command->Reserved3(1, 2, 3), "Reserved3 (three arguments) returns false");
    Check(command->Reserved4(1, 2, 3) == 0, "Reserved4 (three arguments) returns 0");
    Check(!command->Reserved10(1, 2, 3), "Reserved10 returns false");
    Check(!command->Reserved80(1, 2), "Reserved80 (two arguments) returns false");
    Check(!command->Reserved81(1, 2, 3, 4, 5, 6), "Reserved81 (six arguments) returns false");
    Check(command->Reserved82() == 0 && command->Reserved83() == 0, "Reserved82 and 83 return 0");
  }
  Check(ErrorTextIs(command, kNotImplementedText), "GetErrorText after Reserved81: not implemented (GBK)");
  char cut[4];
  Check(command->GetErrorText(static_cast<int32_t>(sizeof cut), cut) == 2 && Same(cut, "\xb7\xbd"),
        "GetErrorText cuts before a double-byte character that does not fit");
}

// Every kind of device slot against the simulator: const char* arguments, byte arguments, bool
// arguments, out-pointers (bool*, int32_t*, char*), VideoSettings*, and failures the device
// reports.
void DeviceSlots(ICommand* command, int32_t port) {
  Check(command->SetNetworkTarget("127.0.0.1", port, "admin", "admin"), "SetNetworkTarget returns true");
  Check(ErrorTextIs(command, kSuccessText), "GetErrorText after SetNetworkTarget: success (GBK)");
  command->SetVideoPort(1);

  Check(command->SetDeviceTime(2026, 12, 25, 13, 45, 30), "SetDeviceTime (byte arguments)");
  Check(command->SetIpAddress("192.0.2.33"), "SetIpAddress");
  char address[VMLCMD_ADDRESS_BUFFER_SIZE + 4];
  memset(address, 'x', sizeof address);
  Check(command->GetIpAddress(address) && Same(address, "192.0.2.33"), "GetIpAddress reads it back");
  Check(command->PtzAuto(true) && command->PtzAuto(false), "PtzAuto (bool argument)");
  Check(!command->SetPtzLight(true), "SetPtzLight returns false (false in AL)");

  Check(command->SetVideoBitrate(777), "SetVideoBitrate");
  Check(command->GetVideoBitrate() == 777, "GetVideoBitrate reads 777");

  Check(command->SetMaskRegion(true, 10, 20, 100, 50, 0), "SetMaskRegion (six arguments)");
  bool enabled = false;
  int32_t left = -1, top = -1, width = -1, height = -1;
  Check(command->GetMaskRegion(&enabled, &left, &top, &width, &height, 0) && enabled && left == 10 &&
            top == 20 && width == 100 && height == 50,
        "GetMaskRegion fills bool* and four int32_t*");

  Check(command->SetOsdCaption(true, 2, "abc"), "SetOsdCaption");
  bool shown = false;
  int32_t position = -1;
  char caption[VMLCMD_CAPTION_BUFFER_SIZE];
  Check(command->GetOsdCaption(&shown, &position, caption) && shown && position == 3 && Same(caption, "abc"),
        "GetOsdCaption fills bool*, int32_t* and the caption");
  char small[3];
  Check(VmlCmdGetOsdCaptionEx(command, &shown, &position, small, static_cast<int32_t>(sizeof small)) &&
            Same(small, "ab"),
        "VmlCmdGetOsdCaptionEx cuts the caption to its buffer");

  VideoSettings settings;
  memset(&settings, 0, sizeof settings);
  settings.spare = 0x5a5a;
  Check(command->GetVideoSettings(&settings) && settings.bitrate == 777 && settings.spare == 0x5a5a,
        "GetVideoSettings fills the structure and leaves spare alone");
  settings.frameRate = 12;
  settings.brightness = 99;
  Check(command->SetVideoSettings(&settings), "SetVideoSettings");
  Check(command->GetVideoFrameRate() == 12 && command->GetBrightness() == 99,
        "the values of SetVideoSettings read back one by one");

  VmlCmdOutcome outcome;
  memset(&outcome, 0, sizeof outcome);
  outcome.size = sizeof outcome;
  Check(VmlCmdGetLastOutcome(command, &outcome) && outcome.stage == VmlCmdStageSuccess &&
            outcome.resultCode == 9,
        "VmlCmdGetLastOutcome: the last operation succeeded");
  char stage[32];
  Check(VmlCmdGetStageText(VmlCmdStageSuccess, 0, stage, static_cast<int32_t>(sizeof stage)) > 0,
        "VmlCmdGetStageText gives a text");

  // Failures the device reports, and one the library refuses before sending.
  command->SetVideoPort(40);
  Check(command->GetVideoBitrate() == 0, "GetVideoBitrate on a missing video port returns 0");
  Check(ErrorTextIs(command, kWrongVideoPortText), "GetErrorText: wrong video port (GBK)");
  command->SetVideoPort(1);
  Check(!command->SetIpAddress(nullptr), "SetIpAddress refuses a null text");
  Check(ErrorTextIs(command, kInvalidArgumentText), "GetErrorText: invalid argument (GBK)");
  Check(command->CloseLink(), "CloseLink returns true");
}

}  // namespace

extern "C" void mainCRTStartup() {
  if (GetACP() != 936) {
    Write("MSVC-ABI host: the ANSI code page is not 936 (run under Wine with LC_ALL=zh_CN.UTF-8)\r\n");
    ExitProcess(100);
  }
  const int32_t port = DevicePort();
  if (port == 0) {
    Write("MSVC-ABI host: set VMLCMD_DEVICE_PORT to the simulated device's port on 127.0.0.1\r\n");
    ExitProcess(100);
  }
  ICommand* command = CreateICommand();
  Check(command != nullptr, "CreateICommand returns an object");
  if (command != nullptr) {
    LocalSlots(command);
    DeviceSlots(command, port);
    command->Release();
  }
  ICommand* second = CreateICommand();
  Check(second != nullptr, "a second object after the first was released");
  if (second != nullptr) second->Release();

  Write("MSVC-ABI host: ");
  WriteNumber(checks);
  Write(" checks, ");
  WriteNumber(failures);
  Write(" failed\r\n");
  ExitProcess(static_cast<unsigned int>(failures));
}
