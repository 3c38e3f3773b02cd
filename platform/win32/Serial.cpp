// Serial ports on Windows. The user confirms the port's settings in the system's port dialog,
// or in the host's own confirmation when it installed one. The port is opened for overlapped
// I/O with one manual-reset event per direction.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

std::atomic<VmlCmdSerialConfirm> confirmCallback{nullptr};
std::atomic<void*> confirmContext{nullptr};

constexpr DWORD kDefaultBaudRate = 115200;
constexpr DWORD kQueueSize = 10000;
constexpr DWORD kWriteTimeoutMilliseconds = 5000;

// DCB and the public settings number parity (NOPARITY..SPACEPARITY) and stop bits
// (ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS) the same way.
VmlCmdSerialSettings FromDcb(const DCB& dcb) {
  VmlCmdSerialSettings settings{};
  settings.baudRate = dcb.BaudRate;
  settings.byteSize = dcb.ByteSize;
  settings.parity = dcb.Parity;
  settings.stopBits = dcb.StopBits;
  return settings;
}

void ToDcb(const VmlCmdSerialSettings& settings, DCB& dcb) {
  dcb.BaudRate = settings.baudRate;
  dcb.ByteSize = settings.byteSize;
  dcb.Parity = settings.parity;
  dcb.StopBits = settings.stopBits;
}

// The host's confirmation when installed, the system dialog otherwise.
bool ConfirmConfig(const char* portName, COMMCONFIG& config) {
  VmlCmdSerialConfirm confirm = confirmCallback.load();
  if (confirm == nullptr) return ::CommConfigDialogA(portName, nullptr, &config) != FALSE;
  VmlCmdSerialSettings settings = FromDcb(config.dcb);
  if (!confirm(portName, &settings, confirmContext.load())) return false;
  ToDcb(settings, config.dcb);
  return true;
}

void DefaultConfig(COMMCONFIG& config) {
  std::memset(&config, 0, sizeof config);
  config.dwSize = sizeof config;
  config.dcb.DCBlength = sizeof(DCB);
  config.dcb.BaudRate = kDefaultBaudRate;
  config.dcb.ByteSize = 8;
}

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

void SetSerialConfirm(VmlCmdSerialConfirm confirm, void* context) {
  confirmContext.store(context);
  confirmCallback.store(confirm);
}

bool ConfirmSerialSettings(const char* portName, VmlCmdSerialSettings& settings) {
  COMMCONFIG config;
  DefaultConfig(config);
  ToDcb(settings, config.dcb);
  if (!ConfirmConfig(portName, config)) return false;
  settings = FromDcb(config.dcb);
  return true;
}

bool SerialPort::Open(int portNumber) {
  // The OVERLAPPED blocks live in storage declared without <windows.h>, aligned for pointers.
  static_assert(sizeof(OVERLAPPED) <= sizeof overlapped_[0], "OVERLAPPED does not fit its storage");
  static_assert(alignof(OVERLAPPED) <= alignof(void*), "OVERLAPPED needs more than pointer alignment");

  Close();
  char portName[32];
  std::snprintf(portName, sizeof portName, "com%d", portNumber);
  COMMCONFIG config;
  DefaultConfig(config);
  if (!ConfirmConfig(portName, config)) return false;

  // The device namespace path reaches com10 and above too; plain "comN" works only up to com9.
  char path[48];
  std::snprintf(path, sizeof path, "\\\\.\\%s", portName);
  HANDLE port = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return false;

  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once with what has arrived
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMilliseconds;
  (void)::SetCommTimeouts(port, &timeouts);

  HANDLE events[2] = {nullptr, nullptr};
  for (int i = 0; i < 2; ++i) {
    auto* overlapped = new (overlapped_[i]) OVERLAPPED{};
    events[i] = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    overlapped->hEvent = events[i];
  }
  config.dcb.DCBlength = sizeof(DCB);
  bool configured =
      ::SetCommState(port, &config.dcb) != FALSE && ::SetupComm(port, kQueueSize, kQueueSize) != FALSE;
  if (!configured || events[0] == nullptr || events[1] == nullptr) {
    CloseIfOpen(events[0]);
    CloseIfOpen(events[1]);
    ::CloseHandle(port);
    std::memset(overlapped_, 0, sizeof overlapped_);
    return false;
  }
  handle_ = port;
  open_ = true;
  return true;
}

void SerialPort::Close() {
  if (!open_) return;
  ::CloseHandle(handle_);
  for (auto& block : overlapped_) ::CloseHandle(reinterpret_cast<OVERLAPPED*>(block)->hEvent);
  handle_ = nullptr;
  std::memset(overlapped_, 0, sizeof overlapped_);
  open_ = false;
}

}  // namespace vml::platform
