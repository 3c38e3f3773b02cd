#include "Device.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>

#include "TextOptions.h"
#include "napisim/Simulator.h"

namespace napisim {
namespace {

constexpr int kFrameWidth = 704;
constexpr int kFrameHeight = 576;

Outcome Reply(int32_t status, std::string text = {}) { return Outcome{status, std::move(text), false}; }

// Every letter present must be allowed and every required letter present; anything else means
// the client built a request this device does not understand.
bool HasOnly(const OptionMap& options, std::string_view allowed) {
  return std::all_of(options.begin(), options.end(),
                     [&](const auto& entry) { return allowed.find(entry.first) != std::string_view::npos; });
}

bool HasAll(const OptionMap& options, std::string_view required) {
  return std::all_of(required.begin(), required.end(), [&](char c) { return options.count(c) != 0; });
}

std::optional<int32_t> IntIn(const OptionMap& options, char letter, int32_t low, int32_t high) {
  const auto found = options.find(letter);
  if (found == options.end()) return std::nullopt;
  const auto value = ParseInt(found->second);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// One optional numeric field of a write: absent leaves the target as it is, out of range
// refuses the whole write.
struct Limit {
  char letter;
  int32_t low;
  int32_t high;
  int* target;
};

bool ApplyLimits(const OptionMap& options, std::initializer_list<Limit> limits) {
  for (const Limit& limit : limits) {
    if (!options.count(limit.letter)) continue;
    const auto value = IntIn(options, limit.letter, limit.low, limit.high);
    if (!value) return false;
    *limit.target = *value;
  }
  return true;
}

// Resolves "-p VP": status 3 when it is missing or not a number, 5 when no such port exists.
int32_t VideoPortOf(DeviceState& state, const OptionMap& options, VideoPort** port, int32_t* number) {
  const auto found = options.find('p');
  if (found == options.end()) return kInvalidArgument;
  const auto parsed = ParseInt(found->second);
  if (!parsed) return kInvalidArgument;
  if (*parsed < 0 || static_cast<std::size_t>(*parsed) >= state.videoPorts.size()) return kWrongVideoPort;
  *port = &state.videoPorts[static_cast<std::size_t>(*parsed)];
  *number = *parsed;
  return kSuccess;
}

std::string Field(char letter, const std::string& value) { return std::string(" -") + letter + ' ' + value; }
std::string Field(char letter, int value) { return Field(letter, std::to_string(value)); }

// Parses the text and resolves the video port in one go for the per-port commands.
struct PortRequest {
  int32_t status = kSuccess;
  OptionMap options;
  VideoPort* port = nullptr;
  int32_t number = 0;
};

PortRequest ParsePortRequest(DeviceState& state, std::string_view text, std::string_view allowed,
                             char restLetter = '\0') {
  PortRequest request;
  auto options = ParseOptions(text, restLetter);
  if (!options || !HasOnly(*options, allowed)) {
    request.status = kInvalidArgument;
    return request;
  }
  request.options = std::move(*options);
  request.status = VideoPortOf(state, request.options, &request.port, &request.number);
  return request;
}

Outcome Login(const DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "up") || !HasAll(*options, "up")) return Reply(kInvalidArgument);
  const auto& user = options->at('u');
  const auto account = std::find_if(state.logins.begin(), state.logins.end(),
                                    [&](const Account& a) { return a.user == user; });
  if (account == state.logins.end()) return Reply(kUnknownUser);
  if (account->password != options->at('p')) return Reply(kWrongPassword);
  return Reply(kSuccess);
}

Outcome WriteNetwork(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || options->empty() || !HasOnly(*options, "amg")) return Reply(kInvalidArgument);
  for (const auto& [letter, value] : *options) {
    if (!IsDottedQuad(value)) return Reply(kInvalidArgument);
  }
  for (const auto& [letter, value] : *options) {
    if (letter == 'a') state.network.ip = value;
    if (letter == 'm') state.network.mask = value;
    if (letter == 'g') state.network.gateway = value;
  }
  return Reply(kSuccess);
}

// Values are packed against the next hyphen on purpose: clients read a value up to the next
// hyphen, so a blank there would end up inside their value.
Outcome ReadNetwork(const DeviceState& state) {
  const auto& n = state.network;
  return Reply(kSuccess, "-i " + n.ip + "-a " + n.ip + "-m " + n.mask + "-g " + n.gateway);
}

Outcome WriteSerial(DeviceState& state, std::string_view text) {
  static constexpr int32_t kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "pb")) return Reply(kInvalidArgument);
  const auto port = IntIn(*options, 'p', 1, 2);
  const auto baud = IntIn(*options, 'b', 1200, 115200);
  if (!port || !baud || std::find(std::begin(kRates), std::end(kRates), *baud) == std::end(kRates)) {
    return Reply(kInvalidArgument);
  }
  state.serialBaud[*port] = *baud;
  return Reply(kSuccess);
}

Outcome ReadSerial(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "p")) return Reply(kInvalidArgument);
  const auto port = IntIn(*options, 'p', 1, 2);
  if (!port) return Reply(kInvalidArgument);
  return Reply(kSuccess, "-p " + std::to_string(*port) + Field('b', state.serialBaud[*port]));
}

Outcome PtzProtocol(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "np")) return Reply(kInvalidArgument);
  const auto head = IntIn(*options, 'n', 0, 3);
  const auto protocol = IntIn(*options, 'p', 1, 2);
  if (!head || !protocol) return Reply(kInvalidArgument);
  state.ptzHeads[static_cast<std::size_t>(*head)].protocol = *protocol;
  return Reply(kSuccess);
}

// "-p HEAD -a ADDR" addresses a head on the bus; "-p VP -r R -s S" tunes a video port's head.
Outcome PtzSetup(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !options->count('p')) return Reply(kInvalidArgument);
  if (HasOnly(*options, "pa") && options->count('a')) {
    const auto head = IntIn(*options, 'p', 0, 3);
    const auto address = IntIn(*options, 'a', 0, 255);
    if (!head || !address) return Reply(kInvalidArgument);
    state.ptzHeads[static_cast<std::size_t>(*head)].address = *address;
    return Reply(kSuccess);
  }
  if (!HasOnly(*options, "prs") || !HasAll(*options, "rs")) return Reply(kInvalidArgument);
  VideoPort* port = nullptr;
  int32_t number = 0;
  const int32_t status = VideoPortOf(state, *options, &port, &number);
  if (status != kSuccess) return Reply(status);
  const auto r = ParseInt(options->at('r'));
  const auto s = ParseInt(options->at('s'));
  if (!r || !s) return Reply(kInvalidArgument);
  port->ptzParameters = PtzParameters{true, *r, *s};
  return Reply(kSuccess);
}

Outcome SetClock(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || options->empty() || !HasOnly(*options, "dt")) return Reply(kInvalidArgument);
  for (const auto& [letter, value] : *options) {
    if (!IsDigits(value) || value.size() > 14) return Reply(kInvalidArgument);
  }
  if (options->count('d')) state.clock.date = options->at('d');
  if (options->count('t')) state.clock.time = options->at('t');
  return Reply(kSuccess);
}

Outcome SetAccount(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "up") || !HasAll(*options, "up")) return Reply(kInvalidArgument);
  const Account account{options->at('u'), options->at('p')};
  if (account.user.empty() || account.user.size() > 32 || account.password.size() > 32) {
    return Reply(kInvalidArgument);
  }
  state.account = account;
  const auto existing = std::find_if(state.logins.begin(), state.logins.end(),
                                     [&](const Account& a) { return a.user == account.user; });
  if (existing == state.logins.end()) {
    state.logins.push_back(account);
  } else {
    existing->password = account.password;
  }
  return Reply(kSuccess);
}

Outcome SetPortSetting(DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "pb")) return Reply(kInvalidArgument);
  const auto port =
      IntIn(*options, 'p', std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  const auto value = IntIn(*options, 'b', 0, 255);
  if (!port || !value) return Reply(kInvalidArgument);
  state.portSettings[*port] = *value;
  return Reply(kSuccess);
}

Outcome ReadVersion(const DeviceState& state, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "p") || !IntIn(*options, 'p', 1, 1)) return Reply(kInvalidArgument);
  return Reply(kSuccess, "-p 1" + Field('b', state.bspVersion) + Field('n', state.napiVersion));
}

Outcome PtzControl(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "pc");
  if (request.status != kSuccess) return Reply(request.status);
  const auto action = IntIn(request.options, 'c', 1, 12);
  if (!action) return Reply(kInvalidArgument);
  auto& motion = request.port->ptz;
  if (*action == 11) {
    motion.autoMode = true;
  } else if (*action == 12) {
    motion.action = 0;
    motion.autoMode = false;
  } else {
    motion.action = *action;
  }
  return Reply(kSuccess);
}

Outcome PassThrough(PassThroughRequest& target, std::string_view text) {
  const auto options = ParseOptions(text);
  if (!options || !HasOnly(*options, "ptao") || !options->count('p')) return Reply(kInvalidArgument);
  const auto p = ParseInt(options->at('p'));
  std::optional<int32_t> o = 0;
  if (options->count('o')) o = ParseInt(options->at('o'));
  if (!p || !o) return Reply(kInvalidArgument);
  target.received = true;
  target.p = *p;
  target.o = *o;
  target.t = options->count('t') ? options->at('t') : std::string();
  target.a = options->count('a') ? options->at('a') : std::string();
  return Reply(kSuccess);
}

Outcome WriteEncoder(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "pbfiqrt");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& options = request.options;
  Encoder encoder = request.port->encoder;
  if (!ApplyLimits(options, {{'b', 16, 20000, &encoder.bitrate},
                             {'f', 1, 60, &encoder.frameRate},
                             {'i', 1, 1000, &encoder.iFrameInterval},
                             {'q', 1, 51, &encoder.quantiser},
                             {'r', 0, 255, &encoder.r}}))
    return Reply(kInvalidArgument);
  if (options.count('t')) {
    const auto& t = options.at('t');
    if (t.size() > 32) return Reply(kInvalidArgument);
    encoder.t = t;
  }
  request.port->encoder = encoder;
  return Reply(kSuccess);
}

Outcome ReadEncoder(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "p");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& e = request.port->encoder;
  return Reply(kSuccess, "-p " + std::to_string(request.number) + Field('b', e.bitrate) +
                             Field('f', e.frameRate) + Field('i', e.iFrameInterval) +
                             Field('q', e.quantiser) + Field('r', e.r) + Field('t', e.t));
}

Outcome WritePicture(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "pbcsh");
  if (request.status != kSuccess) return Reply(request.status);
  Picture picture = request.port->picture;
  if (!ApplyLimits(request.options, {{'b', 0, 255, &picture.brightness},
                                     {'c', -128, 127, &picture.contrast},
                                     {'s', -128, 127, &picture.saturation},
                                     {'h', -128, 127, &picture.hue}}))
    return Reply(kInvalidArgument);
  request.port->picture = picture;
  return Reply(kSuccess);
}

Outcome ReadPicture(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "p");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& p = request.port->picture;
  return Reply(kSuccess, "-p " + std::to_string(request.number) + Field('b', p.brightness) +
                             Field('c', p.contrast) + Field('s', p.saturation) + Field('h', p.hue));
}

// A mask region without "-d", a motion region with it.
Outcome WriteRegion(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "pbltwhd");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& options = request.options;
  if (!HasAll(options, "bltwh")) return Reply(kInvalidArgument);
  const auto enabled = IntIn(options, 'b', 0, 1);
  const auto left = IntIn(options, 'l', 0, kFrameWidth);
  const auto top = IntIn(options, 't', 0, kFrameHeight);
  const auto width = IntIn(options, 'w', 0, kFrameWidth);
  const auto height = IntIn(options, 'h', 0, kFrameHeight);
  if (!enabled || !left || !top || !width || !height) return Reply(kInvalidArgument);
  if (*left + *width > kFrameWidth || *top + *height > kFrameHeight) return Reply(kInvalidArgument);
  if (options.count('d')) {
    const auto sensitivity = IntIn(options, 'd', 0, 100);
    if (!sensitivity) return Reply(kInvalidArgument);
    request.port->motion = MotionRegion{*enabled == 1, *left, *top, *width, *height, *sensitivity};
  } else {
    request.port->mask = Region{*enabled == 1, *left, *top, *width, *height};
  }
  return Reply(kSuccess);
}

template <typename R>
std::string RegionText(int number, const R& r) {
  return "-p " + std::to_string(number) + Field('b', r.enabled ? 1 : 0) + Field('l', r.left) +
         Field('t', r.top) + Field('w', r.width) + Field('h', r.height);
}

Outcome ReadMask(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "p");
  if (request.status != kSuccess) return Reply(request.status);
  return Reply(kSuccess, RegionText(request.number, request.port->mask));
}

Outcome ReadMotion(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "p");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& m = request.port->motion;
  return Reply(kSuccess, RegionText(request.number, m) + Field('d', m.sensitivity));
}

Outcome WriteOverlay(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "pglwot", 'w');
  if (request.status != kSuccess) return Reply(request.status);
  const auto& options = request.options;
  auto& overlay = request.port->overlay;
  if (HasOnly(options, "pglw") && HasAll(options, "glw")) {
    const auto shown = IntIn(options, 'g', 0, 1);
    const auto position = IntIn(options, 'l', 1, 8);
    const auto& caption = options.at('w');
    if (!shown || !position || caption.size() > 200) return Reply(kInvalidArgument);
    overlay.captionShown = *shown == 1;
    overlay.captionPosition = *position;
    overlay.caption = caption;
    return Reply(kSuccess);
  }
  if (HasOnly(options, "pot") && HasAll(options, "ot")) {
    const auto shown = IntIn(options, 'o', 0, 1);
    const auto position = IntIn(options, 't', 1, 8);
    if (!shown || !position) return Reply(kInvalidArgument);
    overlay.timeShown = *shown == 1;
    overlay.timePosition = *position;
    return Reply(kSuccess);
  }
  return Reply(kInvalidArgument);
}

// The caption goes last: it may contain blanks and hyphens, and clients look for the other
// letters from the start of the text.
Outcome ReadOverlay(DeviceState& state, std::string_view text) {
  auto request = ParsePortRequest(state, text, "p");
  if (request.status != kSuccess) return Reply(request.status);
  const auto& o = request.port->overlay;
  return Reply(kSuccess, "-p " + std::to_string(request.number) + Field('g', o.captionShown ? 1 : 0) +
                             Field('l', o.captionPosition) + Field('o', o.timeShown ? 1 : 0) +
                             Field('t', o.timePosition) + Field('w', o.caption));
}

}  // namespace

Outcome Execute(DeviceState& state, int32_t command, std::string_view text) {
  switch (command) {
    case kLoginCommand:
      return Login(state, text);
    case 1:
      return ReadVersion(state, text);
    case 3:
      return SetClock(state, text);
    case 4:
      return WriteNetwork(state, text);
    case 5:
      return ReadNetwork(state);
    case 6:
      return WriteSerial(state, text);
    case 7:
      return ReadSerial(state, text);
    case 8:
      ++state.command8Count;
      return Outcome{kSuccess, {}, true};
    case 9:
      ++state.command9Count;
      return Reply(kSuccess);
    case 21:
    case 23:
      return WritePicture(state, text);
    case 22:
      return ReadPicture(state, text);
    case 25:
      return WriteOverlay(state, text);
    case 26:
      return ReadOverlay(state, text);
    case 28:
      return ReadMotion(state, text);
    case 29:
      return WriteRegion(state, text);
    case 30:
      return ReadMask(state, text);
    case 31:
      return WriteEncoder(state, text);
    case 32:
      return ReadEncoder(state, text);
    case 41:
      return SetAccount(state, text);
    case 51:
      return PassThrough(state.last51, text);
    case 52:
      return PassThrough(state.last52, text);
    case 60:
      return PtzControl(state, text);
    case 61:
      return PtzProtocol(state, text);
    case 62:
      return PtzSetup(state, text);
    case 70:
      return SetPortSetting(state, text);
    default:
      return Reply(kUnknownCommand);
  }
}

}  // namespace napisim
