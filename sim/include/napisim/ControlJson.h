// The JSON forms the control channel carries (see napisim/ControlServer.h), shared by the
// server and by clients in other processes. Byte strings (request texts, raw bytes, fault
// payloads) travel as hex, since they may hold NULs and bytes of any code page.
#ifndef NAPISIM_CONTROLJSON_H
#define NAPISIM_CONTROLJSON_H

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "napisim/Types.h"

namespace napisim {

std::string ToHex(std::string_view bytes);
// Throws std::invalid_argument for an odd length or a character that is not a hex digit.
std::string FromHex(std::string_view hex);

// The integer field key of j, or fallback when j has none. A value that is not a whole JSON
// number in min..max is refused (std::invalid_argument naming the field) instead of being
// coerced: 1e30 would wait 0 ms, -7 video ports would wrap, 2**40 would become 0.
long long IntegerField(const nlohmann::json& j, const char* key, long long min, long long max,
                       long long fallback);

// The longest delay or gap a fault may ask for, in milliseconds (an hour): far longer than any
// client waits, and far from overflowing the conversion to nanoseconds.
inline constexpr long long kLongestFaultDelayMs = 3600 * 1000;

void to_json(nlohmann::json& j, const Fault& v);
void from_json(const nlohmann::json& j, Fault& v);
void to_json(nlohmann::json& j, const RecordedRequest& v);
void from_json(const nlohmann::json& j, RecordedRequest& v);
void to_json(nlohmann::json& j, const ConnectionStats& v);
void from_json(const nlohmann::json& j, ConnectionStats& v);
void to_json(nlohmann::json& j, const RequestLogStats& v);
void from_json(const nlohmann::json& j, RequestLogStats& v);

}  // namespace napisim

#endif
