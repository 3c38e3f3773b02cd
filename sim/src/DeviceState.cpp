#include "napisim/DeviceState.h"

#include <cstdio>
#include <stdexcept>

namespace napisim {
namespace {

// Captions may hold bytes of any code page, but JSON text must be UTF-8; such bytes are shown
// as \xNN so that dumping the state never throws. A backslash is doubled, so that the text
// reads back to the same bytes (BytesOfJsonText).
std::string JsonText(const std::string& bytes) {
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    if (c == '\\') {
      out += "\\\\";
      ++i;
      continue;
    }
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
    // Continuation bytes alone are not enough: overlong forms, UTF-16 surrogates (ED A0..BF)
    // and code points past U+10FFFF are not UTF-8 either, and JSON refuses them.
    if (valid && length > 2) {
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      valid = !(c == 0xE0 && second < 0xA0) && !(c == 0xED && second > 0x9F) &&
              !(c == 0xF0 && second < 0x90) && !(c == 0xF4 && second > 0x8F);
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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string BytesOfJsonText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == '\\') {
      out.push_back('\\');
      ++i;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
               HexDigit(text[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3])));
      i += 3;
    } else {
      out.push_back(text[i]);  // a lone backslash, as an older dump may hold
    }
  }
  return out;
}

std::string Bytes(const nlohmann::json& j, const char* key) {
  return BytesOfJsonText(j.at(key).get<std::string>());
}

template <typename Map>
nlohmann::json KeyedByNumber(const Map& map) {
  nlohmann::json j = nlohmann::json::object();
  for (const auto& [key, value] : map) j[std::to_string(key)] = value;
  return j;
}

template <typename Map>
void FromKeyedByNumber(const nlohmann::json& j, Map& map) {
  map.clear();
  for (const auto& [key, value] : j.items()) {
    std::size_t used = 0;
    const long number = std::stol(key, &used);
    if (used != key.size()) throw std::invalid_argument("napi-sim: not a number key: " + key);
    map[static_cast<typename Map::key_type>(number)] = value.template get<typename Map::mapped_type>();
  }
}

}  // namespace

void to_json(nlohmann::json& j, const Account& v) {
  j = {{"user", JsonText(v.user)}, {"password", JsonText(v.password)}};
}
void to_json(nlohmann::json& j, const Network& v) {
  j = {{"ip", JsonText(v.ip)}, {"mask", JsonText(v.mask)}, {"gateway", JsonText(v.gateway)}};
}
void to_json(nlohmann::json& j, const Clock& v) {
  j = {{"date", JsonText(v.date)}, {"time", JsonText(v.time)}};
}
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
void to_json(nlohmann::json& j, const Overlay& v) {
  j = {{"captionShown", v.captionShown},
       {"captionPosition", v.captionPosition},
       {"caption", JsonText(v.caption)},
       {"timeShown", v.timeShown},
       {"timePosition", v.timePosition}};
}
void to_json(nlohmann::json& j, const PtzMotion& v) { j = {{"action", v.action}, {"auto", v.autoMode}}; }
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

void from_json(const nlohmann::json& j, Account& v) {
  v.user = Bytes(j, "user");
  v.password = Bytes(j, "password");
}
void from_json(const nlohmann::json& j, Network& v) {
  v.ip = Bytes(j, "ip");
  v.mask = Bytes(j, "mask");
  v.gateway = Bytes(j, "gateway");
}
void from_json(const nlohmann::json& j, Clock& v) {
  v.date = Bytes(j, "date");
  v.time = Bytes(j, "time");
}
void from_json(const nlohmann::json& j, PassThroughRequest& v) {
  j.at("received").get_to(v.received);
  j.at("p").get_to(v.p);
  v.t = Bytes(j, "t");
  v.a = Bytes(j, "a");
  j.at("o").get_to(v.o);
}
void from_json(const nlohmann::json& j, Encoder& v) {
  j.at("bitrate").get_to(v.bitrate);
  j.at("frameRate").get_to(v.frameRate);
  j.at("iFrameInterval").get_to(v.iFrameInterval);
  j.at("quantiser").get_to(v.quantiser);
  j.at("r").get_to(v.r);
  v.t = Bytes(j, "t");
}
void from_json(const nlohmann::json& j, Overlay& v) {
  j.at("captionShown").get_to(v.captionShown);
  j.at("captionPosition").get_to(v.captionPosition);
  v.caption = Bytes(j, "caption");
  j.at("timeShown").get_to(v.timeShown);
  j.at("timePosition").get_to(v.timePosition);
}
void from_json(const nlohmann::json& j, PtzMotion& v) {
  j.at("action").get_to(v.action);
  j.at("auto").get_to(v.autoMode);
}
void from_json(const nlohmann::json& j, DeviceState& v) {
  j.at("network").get_to(v.network);
  FromKeyedByNumber(j.at("serialBaud"), v.serialBaud);
  j.at("ptzHeads").get_to(v.ptzHeads);
  j.at("clock").get_to(v.clock);
  j.at("account").get_to(v.account);
  j.at("logins").get_to(v.logins);
  FromKeyedByNumber(j.at("portSettings"), v.portSettings);
  j.at("bspVersion").get_to(v.bspVersion);
  j.at("napiVersion").get_to(v.napiVersion);
  j.at("last51").get_to(v.last51);
  j.at("last52").get_to(v.last52);
  j.at("command8Count").get_to(v.command8Count);
  j.at("command9Count").get_to(v.command9Count);
  j.at("videoPorts").get_to(v.videoPorts);
}

}  // namespace napisim
