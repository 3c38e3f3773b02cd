// Serial ports on POSIX: "comN" is /dev/ttyS<N-1>. There is no system settings dialog here, so
// the host may install a confirmation callback; without one the defaults are confirmed.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/Platform.h"
#include "platform/posix/SerialDevice.h"

namespace vml::platform {
namespace {

std::atomic<VmlCmdSerialConfirm> confirmCallback{nullptr};
std::atomic<void*> confirmContext{nullptr};
std::atomic<SerialDeviceResolver> deviceResolver{nullptr};

bool BaudToSpeed(std::uint32_t baud, speed_t& speed) {
  struct Entry {
    std::uint32_t baud;
    speed_t speed;
  };
  static constexpr Entry kSpeeds[] = {{300, B300},     {600, B600},       {1200, B1200},    {2400, B2400},
                                      {4800, B4800},   {9600, B9600},     {19200, B19200},  {38400, B38400},
                                      {57600, B57600}, {115200, B115200}, {230400, B230400}};
  for (const Entry& entry : kSpeeds) {
    if (entry.baud == baud) {
      speed = entry.speed;
      return true;
    }
  }
  return false;
}

bool ApplySettings(int fd, const VmlCmdSerialSettings& settings) {
  termios mode{};
  speed_t speed{};
  if (::tcgetattr(fd, &mode) != 0 || !BaudToSpeed(settings.baudRate, speed)) return false;
  ::cfmakeraw(&mode);
  if (::cfsetispeed(&mode, speed) != 0 || ::cfsetospeed(&mode, speed) != 0) return false;
  mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  mode.c_cflag |= CLOCAL | CREAD;
  switch (settings.byteSize) {
    case 5:
      mode.c_cflag |= CS5;
      break;
    case 6:
      mode.c_cflag |= CS6;
      break;
    case 7:
      mode.c_cflag |= CS7;
      break;
    case 8:
      mode.c_cflag |= CS8;
      break;
    default:
      return false;
  }
  switch (settings.parity) {
    case 0:
      break;
    case 1:
      mode.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      mode.c_cflag |= PARENB;
      break;
    default:
      return false;  // mark and space parity have no portable termios form
  }
  switch (settings.stopBits) {
    case 0:
      break;
    case 2:
      mode.c_cflag |= CSTOPB;
      break;
    default:
      return false;
  }
  mode.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Reads return at once with whatever has arrived.
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &mode) == 0;
}

}  // namespace

void SetSerialConfirm(VmlCmdSerialConfirm confirm, void* context) {
  confirmContext.store(context);
  confirmCallback.store(confirm);
}

void SetSerialDeviceResolver(SerialDeviceResolver resolver) { deviceResolver.store(resolver); }

bool ConfirmSerialSettings(const char* portName, VmlCmdSerialSettings& settings) {
  VmlCmdSerialConfirm confirm = confirmCallback.load();
  return confirm == nullptr || confirm(portName, &settings, confirmContext.load());
}

bool SerialPort::Open(int portNumber) {
  Close();
  char portName[32];
  std::snprintf(portName, sizeof portName, "com%d", portNumber);
  VmlCmdSerialSettings settings{115200, 8, 0, 0, 0};
  if (!ConfirmSerialSettings(portName, settings)) return false;

  char path[256];
  SerialDeviceResolver resolver = deviceResolver.load();
  if (resolver != nullptr) {
    if (!resolver(portNumber, path, sizeof path)) return false;
  } else {
    if (portNumber < 1) return false;
    std::snprintf(path, sizeof path, "/dev/ttyS%d", portNumber - 1);
  }
  int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  if (!ApplySettings(fd, settings)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  open_ = true;
  return true;
}

void SerialPort::Close() {
  if (!open_) return;
  ::close(fd_);
  fd_ = -1;
  open_ = false;
}

}  // namespace vml::platform
