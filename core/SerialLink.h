// The serial port link. It only opens and holds the port: no operation carries data over it.
#pragma once

#include "platform/Platform.h"

namespace vml {

class SerialLink {
 public:
  SerialLink() = default;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  virtual ~SerialLink() { Close(); }

  // Closes any port opened before, then opens "com<portNumber>" once the user has confirmed its
  // settings (115200 baud, 8 data bits, no parity, one stop bit, no flow control offered).
  bool Open(int portNumber) {
    Close();
    return port_.Open(portNumber);
  }
  void Close() { port_.Close(); }
  bool IsOpen() const { return port_.IsOpen(); }

 private:
  platform::SerialPort port_;
};

}  // namespace vml
