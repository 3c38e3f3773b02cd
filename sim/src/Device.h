// What the device does with one request: the state change and the reply, independent of the
// network. The caller holds the state lock and handles the login gate of the connection.
#ifndef NAPISIM_DEVICE_H
#define NAPISIM_DEVICE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "napisim/DeviceState.h"

namespace napisim {

struct Outcome {
  int32_t status = 0;
  std::string text;
  bool silent = false;  // the device never answers this request
};

// text is the request text with trailing NULs already removed.
Outcome Execute(DeviceState& state, int32_t command, std::string_view text);

}  // namespace napisim

#endif
