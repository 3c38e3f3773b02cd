// The simulated video server's settings, as the device would keep them in its configuration.
// Tests read and change them through Simulator::State() and Simulator::UpdateState(), or read
// them as JSON through the control channel; from_json gives back exactly what to_json wrote.
#ifndef NAPISIM_DEVICESTATE_H
#define NAPISIM_DEVICESTATE_H

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace napisim {

struct Account {
  std::string user;
  std::string password;
};

struct Network {
  std::string ip = "192.0.2.10";
  std::string mask = "255.255.255.0";
  std::string gateway = "192.0.2.1";
};

struct PtzHead {
  int protocol = 1;  // 1 or 2
  int address = 1;   // bus address 0..255
};

// Date and time are kept as the digit texts the client sent; the device never interprets them.
struct Clock {
  std::string date;
  std::string time;
};

// Last request of command 51 or 52.
struct PassThroughRequest {
  bool received = false;
  int32_t p = 0;
  std::string t;
  std::string a;
  int32_t o = 0;
};

struct Encoder {
  int bitrate = 512;         // -b, 16..20000
  int frameRate = 25;        // -f, 1..60
  int iFrameInterval = 100;  // -i, 1..1000
  int quantiser = 31;        // -q, 1..51
  int r = 1;                 // -r, 0..255
  std::string t = "0";       // -t, up to 32 characters
};

// Device values: brightness 0..255, the others -128..127.
struct Picture {
  int brightness = 128;
  int contrast = 71;
  int saturation = 64;
  int hue = 0;
};

struct Region {
  bool enabled = false;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct MotionRegion {
  bool enabled = false;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int sensitivity = 0;  // 0..100
};

struct Overlay {
  bool captionShown = false;
  int captionPosition = 1;  // 1..8
  std::string caption;      // raw bytes, may be non-ASCII
  bool timeShown = false;
  int timePosition = 1;  // 1..8
};

// Motion of the head attached to a video port. action is the running movement (1 up, 2 down,
// 3 left, 4 right, 5 iris+, 6 iris-, 7 zoom+, 8 zoom-, 9 focus+, 10 focus-) or 0 when stopped.
struct PtzMotion {
  int action = 0;
  bool autoMode = false;
};

struct PtzParameters {
  bool set = false;
  int32_t r = 0;
  int32_t s = 0;
};

struct VideoPort {
  Encoder encoder;
  Picture picture;
  Region mask;
  MotionRegion motion;
  Overlay overlay;
  PtzMotion ptz;
  PtzParameters ptzParameters;
};

struct DeviceState {
  Network network;
  std::map<int, int> serialBaud{{1, 9600}, {2, 9600}};  // serial port 1..2 -> baud rate
  std::array<PtzHead, 4> ptzHeads{};
  Clock clock;
  Account account;                      // last account written by command 41
  std::vector<Account> logins;          // accounts accepted by login (45)
  std::map<int32_t, int> portSettings;  // command 70: port -> value 0..255
  int32_t bspVersion = 20261208;
  int32_t napiVersion = 3;
  PassThroughRequest last51;
  PassThroughRequest last52;
  int command8Count = 0;
  int command9Count = 0;
  std::vector<VideoPort> videoPorts = std::vector<VideoPort>(4);
};

// Structures whose JSON is their fields under their own names.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PtzHead, protocol, address)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Picture, brightness, contrast, saturation, hue)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Region, enabled, left, top, width, height)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(MotionRegion, enabled, left, top, width, height, sensitivity)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PtzParameters, set, r, s)

void to_json(nlohmann::json& j, const Account& v);
void to_json(nlohmann::json& j, const Network& v);
void to_json(nlohmann::json& j, const Clock& v);
void to_json(nlohmann::json& j, const PassThroughRequest& v);
void to_json(nlohmann::json& j, const Encoder& v);
void to_json(nlohmann::json& j, const Overlay& v);
void to_json(nlohmann::json& j, const PtzMotion& v);
void to_json(nlohmann::json& j, const DeviceState& v);

void from_json(const nlohmann::json& j, Account& v);
void from_json(const nlohmann::json& j, Network& v);
void from_json(const nlohmann::json& j, Clock& v);
void from_json(const nlohmann::json& j, PassThroughRequest& v);
void from_json(const nlohmann::json& j, Encoder& v);
void from_json(const nlohmann::json& j, Overlay& v);
void from_json(const nlohmann::json& j, PtzMotion& v);
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(VideoPort, encoder, picture, mask, motion, overlay, ptz, ptzParameters)
void from_json(const nlohmann::json& j, DeviceState& v);

}  // namespace napisim

#endif
