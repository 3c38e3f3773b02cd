#include "napisim/DeviceState.h"

#include <cstdio>

namespace napisim {
namespace {

// Captions may hold bytes of any code page, but JSON text must be UTF-8; such bytes are shown
// as \xNN so that dumping the state never throws.
std::string JsonText(const std::string& bytes) {
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    if (c < 0x80) {
      length = 1;
    } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
      length = 2;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
    } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
      length = 4;
    }
    bool valid = length != 0 && i + length <= bytes.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
    }
    if (valid) {
      out.append(bytes, i, length);
      i += length;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
      out += escaped;
      ++i;
    }
  }
  return out;
}

template <typename Map>
nlohmann::json KeyedByNumber(const Map& map) {
  nlohmann::json j = nlohmann::json::object();
  for (const auto& [key, value] : map) j[std::to_string(key)] = value;
  return j;
}

}  // namespace

void to_json(nlohmann::json& j, const Account& v) {
  j = {{"user", JsonText(v.user)}, {"password", JsonText(v.password)}};
}
void to_json(nlohmann::json& j, const Network& v) {
  j = {{"ip", JsonText(v.ip)}, {"mask", JsonText(v.mask)}, {"gateway", JsonText(v.gateway)}};
}
void to_json(nlohmann::json& j, const PtzHead& v) { j = {{"protocol", v.protocol}, {"address", v.address}}; }
void to_json(nlohmann::json& j, const Clock& v) { j = {{"date", v.date}, {"time", v.time}}; }
void to_json(nlohmann::json& j, const PassThroughRequest& v) {
  j = {{"received", v.received}, {"p", v.p}, {"t", JsonText(v.t)}, {"a", JsonText(v.a)}, {"o", v.o}};
}
void to_json(nlohmann::json& j, const Encoder& v) {
  j = {{"bitrate", v.bitrate},
       {"frameRate", v.frameRate},
       {"iFrameInterval", v.iFrameInterval},
       {"quantiser", v.quantiser},
       {"r", v.r},
       {"t", JsonText(v.t)}};
}
void to_json(nlohmann::json& j, const Picture& v) {
  j = {{"brightness", v.brightness}, {"contrast", v.contrast}, {"saturation", v.saturation}, {"hue", v.hue}};
}
void to_json(nlohmann::json& j, const Region& v) {
  j = {{"enabled", v.enabled}, {"left", v.left}, {"top", v.top}, {"width", v.width}, {"height", v.height}};
}
void to_json(nlohmann::json& j, const MotionRegion& v) {
  j = {{"enabled", v.enabled}, {"left", v.left},     {"top", v.top},
       {"width", v.width},     {"height", v.height}, {"sensitivity", v.sensitivity}};
}
void to_json(nlohmann::json& j, const Overlay& v) {
  j = {{"captionShown", v.captionShown},
       {"captionPosition", v.captionPosition},
       {"caption", JsonText(v.caption)},
       {"timeShown", v.timeShown},
       {"timePosition", v.timePosition}};
}
void to_json(nlohmann::json& j, const PtzMotion& v) { j = {{"action", v.action}, {"auto", v.autoMode}}; }
void to_json(nlohmann::json& j, const PtzParameters& v) { j = {{"set", v.set}, {"r", v.r}, {"s", v.s}}; }
void to_json(nlohmann::json& j, const VideoPort& v) {
  j = {{"encoder", v.encoder},
       {"picture", v.picture},
       {"mask", v.mask},
       {"motion", v.motion},
       {"overlay", v.overlay},
       {"ptz", v.ptz},
       {"ptzParameters", v.ptzParameters}};
}
void to_json(nlohmann::json& j, const DeviceState& v) {
  j = nlohmann::json::object();
  j["network"] = v.network;
  j["serialBaud"] = KeyedByNumber(v.serialBaud);
  j["ptzHeads"] = v.ptzHeads;
  j["clock"] = v.clock;
  j["account"] = v.account;
  j["logins"] = v.logins;
  j["portSettings"] = KeyedByNumber(v.portSettings);
  j["bspVersion"] = v.bspVersion;
  j["napiVersion"] = v.napiVersion;
  j["last51"] = v.last51;
  j["last52"] = v.last52;
  j["command8Count"] = v.command8Count;
  j["command9Count"] = v.command9Count;
  j["videoPorts"] = v.videoPorts;
}

}  // namespace napisim
