// A host program as one written against the binary interface alone would be: it includes no
// VmlCmd header, loads VmlCmd.dll at run time and calls the object's table by position, with
// the calling convention such hosts use (thiscall on 32-bit x86, the plain convention on x64).
// Run with --gbk to insist on the Simplified Chinese code page (936) for the texts.
#include <winsock2.h>
// winsock2.h must come first: windows.h would otherwise pull in the old winsock.h.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__i386__)
// GCC warns that thiscall is meant for class members, yet applies it to the plain pointer:
// the object goes in ECX and the callee pops the rest, as a compiled host's call does.
#pragma GCC diagnostic ignored "-Wattributes"
#define HOST_SLOT_CALL __attribute__((thiscall))
#else
#define HOST_SLOT_CALL
#endif

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAILED: %s\n", what);
  }
}

std::string Hex(const char* bytes) {
  std::string out;
  char piece[4];
  for (const char* p = bytes; *p != '\0'; ++p) {
    std::snprintf(piece, sizeof piece, "%02x ", static_cast<unsigned char>(*p));
    out += piece;
  }
  return out;
}

// Calls entry `slot` of the object's table: the object's first word points at the table.
template <typename Result, typename... Arguments>
Result CallSlot(void* object, int slot, Arguments... arguments) {
  using Entry = Result(HOST_SLOT_CALL*)(void*, Arguments...);
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Entry>(table[slot])(object, arguments...);
}

constexpr int kGetVendorName = 0;
constexpr int kReserved1 = 1;
constexpr int kReserved2 = 2;
constexpr int kGetErrorText = 5;
constexpr int kRelease = 7;
constexpr int kOpenSerialLink = 8;
constexpr int kSetNetworkTarget = 9;
constexpr int kReserved11 = 11;
constexpr int kSetDeviceTime = 13;
constexpr int kSetVideoPort = 19;
constexpr int kCloseLink = 20;
constexpr int kGetIpAddress = 24;
constexpr int kGetSerialBaudRate = 33;
constexpr int kSetMaskRegion = 66;
constexpr int kDeletingDestructor = 92;

// An export as a pointer of its own type (FARPROC is a placeholder type for every export).
template <typename Function>
Function Export(HMODULE library, const char* name) {
  FARPROC address = ::GetProcAddress(library, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof address, "function pointers differ in size");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

// The text the library should hand out for a result code, in this process's code page.
std::string InCodePage(const wchar_t* text) {
  char bytes[128] = {};
  int size =
      ::WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, static_cast<int>(sizeof bytes), nullptr, nullptr);
  return size > 0 ? std::string(bytes) : std::string();
}

void CheckErrorText(void* object, const wchar_t* expected, const char* gbk, bool requireGbk,
                    const char* what) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  int length = CallSlot<int>(object, kGetErrorText, static_cast<int>(sizeof text), text);
  std::string want = InCodePage(expected);
  bool ok = length == static_cast<int>(want.size()) && want == text;
  if (::GetACP() == 936) ok = ok && std::strcmp(text, gbk) == 0;
  if (requireGbk) ok = ok && ::GetACP() == 936;
  if (!ok) std::printf("  got %d bytes: %s(code page %u)\n", length, Hex(text).c_str(), ::GetACP());
  Check(ok, what);
}

struct SerialPrompt {
  int calls = 0;
  char portName[16] = {};
  std::uint32_t baudRate = 0;
  std::uint8_t byteSize = 0;
  std::uint8_t parity = 9;
  std::uint8_t stopBits = 9;
};

// The settings block as the public interface lays it out.
struct HostSerialSettings {
  std::uint32_t baudRate;
  std::uint8_t byteSize;
  std::uint8_t parity;
  std::uint8_t stopBits;
  std::uint8_t reserved;
};

bool DeclineSerialSettings(const char* portName, HostSerialSettings* settings, void* context) {
  auto* prompt = static_cast<SerialPrompt*>(context);
  ++prompt->calls;
  std::snprintf(prompt->portName, sizeof prompt->portName, "%s", portName);
  prompt->baudRate = settings->baudRate;
  prompt->byteSize = settings->byteSize;
  prompt->parity = settings->parity;
  prompt->stopBits = settings->stopBits;
  return false;
}

// A loopback port that is bound but not listening: connecting to it is refused at once.
struct ClosedPort {
  SOCKET socket = INVALID_SOCKET;
  int port = 0;
  ClosedPort() {
    socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = static_cast<int>(sizeof address);
    if (socket != INVALID_SOCKET && ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ::ntohs(address.sin_port);
    }
  }
  ~ClosedPort() {
    if (socket != INVALID_SOCKET) ::closesocket(socket);
  }
};

template <typename Operation>
bool FailsQuickly(Operation operation) {
  auto start = std::chrono::steady_clock::now();
  bool result = operation();
  auto elapsed = std::chrono::steady_clock::now() - start;
  return !result && elapsed < std::chrono::milliseconds(600);
}

}  // namespace

int main(int argc, char** argv) {
  bool requireGbk = argc > 1 && std::strcmp(argv[1], "--gbk") == 0;
  WSADATA wsa{};
  ::WSAStartup(MAKEWORD(2, 2), &wsa);

  HMODULE library = ::LoadLibraryA("VmlCmd.dll");
  Check(library != nullptr, "VmlCmd.dll loads");
  if (library == nullptr) {
    std::printf("%d passed, %d failed\n", passed, failed);
    return 1;
  }
  using Factory = void* (*)();
  using SetConfirm = void (*)(bool (*)(const char*, HostSerialSettings*, void*), void*);
  using CaptionEx = bool (*)(void*, bool*, std::int32_t*, char*, std::int32_t);
  auto create = Export<Factory>(library, "CreateICommand");
  auto setConfirm = Export<SetConfirm>(library, "VmlCmdSetSerialConfirm");
  auto captionEx = Export<CaptionEx>(library, "VmlCmdGetOsdCaptionEx");
  Check(create != nullptr && setConfirm != nullptr && captionEx != nullptr, "all three exports resolve");
  if (create == nullptr || setConfirm == nullptr || captionEx == nullptr) {
    std::printf("%d passed, %d failed\n", passed, failed);
    return 1;
  }

  void* object = create();
  Check(object != nullptr, "CreateICommand returns an object");
  if (object != nullptr) {
    // Slots that never touch a device.
    char name[32];
    std::memset(name, 'x', sizeof name);
    Check(CallSlot<int>(object, kGetVendorName, 0, name) == 7 && std::strcmp(name, "vormel") == 0,
          "slot 0 with size 0 writes the vendor name and returns 7");
    std::memset(name, 'x', sizeof name);
    Check(CallSlot<int>(object, kGetVendorName, 6, name) == 0 && name[0] == 'x',
          "slot 0 with a buffer too small writes nothing");
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    Check(page != nullptr && CallSlot<int>(object, kGetVendorName, 0, static_cast<char*>(page)) == 0,
          "slot 0 into a read-only page returns 0 instead of faulting");
    if (page != nullptr) ::VirtualFree(page, 0, MEM_RELEASE);
    Check(CallSlot<int>(object, kReserved1) == 0, "slot 1 returns 0");
    Check(CallSlot<int>(object, kReserved2) == 1, "slot 2 returns 1");

    // U+6210 U+529F and U+65B9 U+6CD5 U+6CA1 U+6709 U+5B9E U+73B0, kept as escapes so that the
    // source's own encoding cannot matter.
    CheckErrorText(object, L"\u6210\u529f", "\xb3\xc9\xb9\xa6", requireGbk, "slot 5 gives the success text");
    Check(CallSlot<int>(object, kReserved11) == 0, "slot 11 returns 0");
    CheckErrorText(object, L"\u65b9\u6cd5\u6ca1\u6709\u5b9e\u73b0",
                   "\xb7\xbd\xb7\xa8\xc3\xbb\xd3\xd0\xca\xb5\xcf\xd6", requireGbk,
                   "slot 5 after slot 11 gives the not-implemented text");
    if (::GetACP() == 936) {
      char cut[4];
      Check(CallSlot<int>(object, kGetErrorText, 4, cut) == 2 && std::strcmp(cut, "\xb7\xbd") == 0,
            "slot 5 cuts a long text before a whole double-byte character");
    }

    // The serial link asks the host's confirmation first; declining opens nothing.
    SerialPrompt prompt;
    setConfirm(DeclineSerialSettings, &prompt);
    Check(!CallSlot<bool>(object, kOpenSerialLink, 3), "slot 8 fails when the settings are declined");
    Check(prompt.calls == 1 && std::strcmp(prompt.portName, "com3") == 0 && prompt.baudRate == 115200 &&
              prompt.byteSize == 8 && prompt.parity == 0 && prompt.stopBits == 0,
          "slot 8 offers com3 at 115200 baud, 8 data bits, no parity, one stop bit");
    setConfirm(nullptr, nullptr);

    // Device operations against a loopback port where nothing listens.
    ClosedPort closed;
    Check(closed.port != 0, "a closed loopback port is reserved");
    Check(CallSlot<bool>(object, kSetNetworkTarget, "127.0.0.1", closed.port, "admin", "admin"),
          "slot 9 accepts a network target");
    CallSlot<void>(object, kSetVideoPort, 1);
    Check(FailsQuickly([&] { return CallSlot<int>(object, kGetSerialBaudRate) != 0; }),
          "slot 33 returns 0 at once when nothing listens");
    char address[16] = {};
    Check(FailsQuickly([&] { return CallSlot<bool>(object, kGetIpAddress, address); }),
          "slot 24 returns false at once when nothing listens");
    Check(FailsQuickly([&] {
            return CallSlot<bool>(object, kSetDeviceTime, 2024, static_cast<std::uint8_t>(5),
                                  static_cast<std::uint8_t>(17), static_cast<std::uint8_t>(12),
                                  static_cast<std::uint8_t>(30), static_cast<std::uint8_t>(59));
          }),
          "slot 13 (byte arguments) returns false at once when nothing listens");
    Check(FailsQuickly([&] { return CallSlot<bool>(object, kSetMaskRegion, true, 1, 2, 3, 4, 0); }),
          "slot 66 (six arguments) returns false at once when nothing listens");
    bool show = false;
    std::int32_t position = 0;
    char caption[8];
    Check(!captionEx(nullptr, &show, &position, caption, static_cast<std::int32_t>(sizeof caption)),
          "VmlCmdGetOsdCaptionEx refuses a null object");
    Check(CallSlot<bool>(object, kCloseLink), "slot 20 closes the link");
    // Slot 29 opens a modal dialog and is deliberately not called here.

    CallSlot<void>(object, kDeletingDestructor, 1u);
    Check(true, "entry 92 with flags 1 destroys and frees the object");
  }

  void* second = create();
  Check(second != nullptr, "a second object is created");
  if (second != nullptr) {
    CallSlot<void>(second, kRelease);
    Check(true, "slot 7 releases the second object");
  }

  ::FreeLibrary(library);
  ::WSACleanup();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
