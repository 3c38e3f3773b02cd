#include "Clock.h"

#include <cstdio>
#include <ctime>

namespace vmlctl {

std::string ClockText(std::chrono::system_clock::time_point when, bool utc) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm fields{};
  // The reentrant forms: a fleet's workers read the clock at once.
#ifdef _WIN32
  utc ? gmtime_s(&fields, &seconds) : localtime_s(&fields, &seconds);
#else
  utc ? gmtime_r(&seconds, &fields) : localtime_r(&seconds, &fields);
#endif
  char text[80];  // room for any int the fields hold, so the format is never cut
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  return text;
}

std::string ResolveNow(const std::string& text, bool utc) {
  return text == "now" ? ClockText(std::chrono::system_clock::now(), utc) : text;
}

}  // namespace vmlctl
