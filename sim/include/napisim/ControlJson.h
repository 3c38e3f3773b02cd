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
