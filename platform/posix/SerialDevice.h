// Where "comN" lives on this machine. Tests point it at a pseudo-terminal.
#pragma once

#include <cstddef>

namespace vml::platform {

// Writes the device path of port portNumber into path; false when there is no such port.
using SerialDeviceResolver = bool (*)(int portNumber, char* path, std::size_t pathSize);
// Null restores the default mapping (/dev/ttyS<N-1>).
void SetSerialDeviceResolver(SerialDeviceResolver resolver);

}  // namespace vml::platform
