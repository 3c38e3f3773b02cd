// The three reads of the device configuration dialog that are not in the host's table.
// Behind an interface so that the dialog's logic can be tested without a device.
#pragma once

#include <cstdint>

class ICommand;

namespace vml::ui {

class DeviceQueries {
 public:
  virtual ~DeviceQueries() = default;
  // Each buffer receives at most 40 bytes, the NUL included.
  virtual bool QueryNetworkConfig(ICommand& command, char* ipAddress, char* subnetMask, char* gateway) = 0;
  virtual std::int32_t QueryBspVersion(ICommand& command) = 0;
  virtual std::int32_t QueryNapiVersion(ICommand& command) = 0;
};

// For the library's own objects. Every ICommand this library hands out is a NapiCommand, and
// the dialogs are only ever started by a NapiCommand's show operation with itself as the
// object, so the downcast is safe there.
DeviceQueries& NapiDeviceQueries();

}  // namespace vml::ui
