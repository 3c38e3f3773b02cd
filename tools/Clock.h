// The host's clock as the device's time of day: set-clock now, in vmlctl and the gateway.
#pragma once

#include <chrono>
#include <string>

namespace vmlctl {

// "YYYY-MM-DDTHH:MM:SS" of the moment, in this host's local time or in UTC.
std::string ClockText(std::chrono::system_clock::time_point when, bool utc);

// "now" read off the host's clock at the call; any other text as it is.
std::string ResolveNow(const std::string& text, bool utc);

}  // namespace vmlctl
