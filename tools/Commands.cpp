#include "Commands.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace vmlctl {

// ---- Argument texts ---------------------------------------------------------------------------

bool ParseInt(const std::string& text, int64_t min, int64_t max, int32_t* value) {
  // from_chars takes no '+', but "ptz pan +1" reads naturally.
  const std::size_t start = !text.empty() && text[0] == '+' ? 1 : 0;
  if (start == 1 && (text.size() < 2 || text[1] == '-')) return false;
  int64_t parsed = 0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || end != last || first == last) return false;
  if (parsed < min || parsed > max) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseSwitch(const std::string& text, bool* value) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "on" || lower == "1" || lower == "true" || lower == "yes") {
    *value = true;
    return true;
  }
  if (lower == "off" || lower == "0" || lower == "false" || lower == "no") {
    *value = false;
    return true;
  }
  return false;
}

bool ParseDateTime(const std::string& text, DateTime* value) {
  // Fixed layout, so a field-by-field read is simpler and stricter than a scanf pattern.
  static constexpr char kLayout[] = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != sizeof kLayout - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kLayout[i] == 'd' ? !digit : text[i] != kLayout[i]) return false;
  }
  auto number = [&](std::size_t at, std::size_t count) {
    int n = 0;
    for (std::size_t i = at; i < at + count; ++i) n = n * 10 + (text[i] - '0');
    return n;
  };
  const int month = number(5, 2), day = number(8, 2);
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
  value->year = number(0, 4);
  value->month = static_cast<uint8_t>(month);
  value->day = static_cast<uint8_t>(day);
  value->hour = static_cast<uint8_t>(hour);
  value->minute = static_cast<uint8_t>(minute);
  value->second = static_cast<uint8_t>(second);
  return true;
}

std::string WireTextProblem(const std::string& text) {
  if (text.find('-') == std::string::npos) return {};
  return "cannot hold '-': the device reads a hyphen as the start of its next option and would keep "
         "only the text before it";
}

const std::string& Args::Get(const std::string& name) const {
  const auto found = raw_.find(name);
  if (found == raw_.end()) throw std::logic_error("argument " + name + " missing");
  return found->second;
}

int32_t Args::Int(const std::string& name) const {
  int32_t value = 0;
  if (!ParseInt(Get(name), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), &value))
    throw std::invalid_argument(name + ": not a number");
  return value;
}

const std::string& Args::Text(const std::string& name) const { return Get(name); }

bool Args::Switch(const std::string& name) const {
  bool value = false;
  if (!ParseSwitch(Get(name), &value)) throw std::invalid_argument(name + ": not on/off");
  return value;
}

DateTime Args::Time(const std::string& name) const {
  DateTime value;
  if (!ParseDateTime(Get(name), &value)) throw std::invalid_argument(name + ": not YYYY-MM-DDTHH:MM:SS");
  return value;
}

// ---- The table --------------------------------------------------------------------------------

namespace {

Param Number(std::string name, std::string help) { return {std::move(name), ArgType::kInt, std::move(help)}; }
Param Number(std::string name, std::string help, int64_t min, int64_t max) {
  return {std::move(name), ArgType::kInt, std::move(help), min, max};
}
Param Text(std::string name, std::string help) { return {std::move(name), ArgType::kText, std::move(help)}; }
Param RawText(std::string name, std::string help) {
  return {std::move(name), ArgType::kRawText, std::move(help)};
}
Param Switch(std::string name, std::string help) {
  return {std::move(name), ArgType::kSwitch, std::move(help)};
}
Param NumberOption(std::string name, std::string help) {
  Param param = Number(std::move(name), std::move(help));
  param.option = true;
  return param;
}
Param NumberOption(std::string name, std::string help, int64_t min, int64_t max) {
  Param param = Number(std::move(name), std::move(help), min, max);
  param.option = true;
  return param;
}

using Getter = int32_t (ICommand::*)();
using Setter = bool (ICommand::*)(int32_t);

// A value with a getter and a setter that work on the current video port.
void AddNumberPair(std::vector<Entry>& table, const std::string& name, const char* value,
                   const std::string& what, Getter get, Setter set) {
  table.push_back({"get-" + name, "Read the " + what + " of the video port", {}, [=](Device& d, const Args&) {
                     return d.Read(value, [get](ICommand& c) { return (c.*get)(); });
                   }});
  table.push_back({"set-" + name,
                   "Write the " + what + " of the video port",
                   {Number("N", "new " + what)},
                   [=](Device& d, const Args& a) { return d.Act((d.Command().*set)(a.Int("N"))); }});
}

Result ReadAddress(Device& d, const char* name, bool (ICommand::*get)(char*)) {
  std::array<char, VMLCMD_ADDRESS_BUFFER_SIZE> buffer{};
  Result result = d.Act((d.Command().*get)(buffer.data()));
  if (result.ok) result.values[name] = d.FromDevice(buffer.data());
  return result;
}

Result PtzMove(Device& d, bool (ICommand::*move)(int32_t), int32_t direction) {
  Result result = d.Act((d.Command().*move)(direction));
  if (direction == 0 && !result.ok) result.note = "direction 0 is no movement: the library sends nothing";
  return result;
}

constexpr int32_t kCaptionBuffer = 280;

// The combined video operations carry contrast, saturation and hue as device values, 128 below
// the 0..255 scale that the single-value commands, the configuration document and the dialogs
// show. A person reads one scale everywhere; the device's own is the library's business.
struct VideoField {
  const char* name;  // the option and, with '_' for '-', the JSON key
  int32_t VideoSettings::*field;
  int32_t offset;  // shown = device value + offset
};
constexpr VideoField kVideoFields[] = {
    {"bitrate", &VideoSettings::bitrate, 0},
    {"frame-rate", &VideoSettings::frameRate, 0},
    {"iframe-interval", &VideoSettings::iFrameInterval, 0},
    {"quant-step", &VideoSettings::quantStep, 0},
    {"param-r", &VideoSettings::paramR, 0},
    {"brightness", &VideoSettings::brightness, 0},
    {"contrast", &VideoSettings::contrast, 128},
    {"saturation", &VideoSettings::saturation, 128},
    {"hue", &VideoSettings::hue, 128},
};

std::string KeyOf(const char* option) {
  std::string key = option;
  for (char& c : key) c = c == '-' ? '_' : c;
  return key;
}

void ShowVideoSettings(const VideoSettings& s, Result& result) {
  auto& v = result.values;
  v["spare"] = s.spare;
  v["param_t"] = s.paramT;
  for (const VideoField& f : kVideoFields) v[KeyOf(f.name)] = s.*f.field + f.offset;
}

Result ReadVideoSettings(Device& d, VideoSettings& s) {
  Result result = d.Act(d.Command().GetVideoSettings(&s));
  if (result.ok) ShowVideoSettings(s, result);
  return result;
}

std::vector<Entry> BuildTable() {
  std::vector<Entry> t;
  // Names the help section of every entry added since the previous call.
  auto family = [&t](const char* name) {
    for (Entry& entry : t) {
      if (entry.family.empty()) entry.family = name;
    }
  };

  t.push_back({"vendor",
               "Show the vendor name the library reports (no device traffic)",
               {},
               [](Device& d, const Args&) {
                 std::array<char, 64> name{};
                 Result r =
                     d.Local(d.Command().GetVendorName(static_cast<int32_t>(name.size()), name.data()) > 0);
                 if (r.ok) r.values["vendor"] = name.data();
                 return r;
               }});

  family("Library");

  // ---- Network identity
  t.push_back({"get-ip", "Read the device's IP address", {}, [](Device& d, const Args&) {
                 return ReadAddress(d, "ip", &ICommand::GetIpAddress);
               }});
  t.push_back({"get-subnet-mask", "Read the device's subnet mask", {}, [](Device& d, const Args&) {
                 return ReadAddress(d, "subnet_mask", &ICommand::GetSubnetMask);
               }});
  t.back().oldPaths = {"get-mask"};
  t.push_back({"get-gateway", "Read the device's gateway", {}, [](Device& d, const Args&) {
                 return ReadAddress(d, "gateway", &ICommand::GetGateway);
               }});
  t.push_back({"network",
               "Read IP address, subnet mask and gateway (three transactions)",
               {},
               [](Device& d, const Args&) {
                 Result all;
                 all.ok = true;
                 const std::pair<const char*, bool (ICommand::*)(char*)> reads[] = {
                     {"ip", &ICommand::GetIpAddress},
                     {"subnet_mask", &ICommand::GetSubnetMask},
                     {"gateway", &ICommand::GetGateway}};
                 for (const auto& [name, get] : reads) {
                   Result one = ReadAddress(d, name, get);
                   if (!one.ok) return one;
                   all.values[name] = one.values[name];
                 }
                 return all;
               }});
  t.push_back(
      {"set-ip",
       "Write the device's IP address",
       {Text("IP", "dotted IPv4 address")},
       [](Device& d, const Args& a) { return d.Act(d.Command().SetIpAddress(a.Text("IP").c_str())); }});
  t.push_back(
      {"set-subnet-mask",
       "Write the device's subnet mask",
       {Text("MASK", "dotted subnet mask")},
       [](Device& d, const Args& a) { return d.Act(d.Command().SetSubnetMask(a.Text("MASK").c_str())); }});
  t.back().oldPaths = {"set-mask"};
  t.push_back({"set-gateway",
               "Write the device's gateway",
               {Text("GW", "dotted gateway address")},
               [](Device& d, const Args& a) { return d.Act(d.Command().SetGateway(a.Text("GW").c_str())); }});
  t.push_back({"set-network",
               "Write IP address, subnet mask and gateway in one request",
               {Text("IP", "dotted IPv4 address"), Text("MASK", "dotted subnet mask"),
                Text("GW", "dotted gateway address")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetNetworkConfig(a.Text("IP").c_str(), a.Text("MASK").c_str(),
                                                           a.Text("GW").c_str()));
               }});

  family("Network identity");

  // ---- Device settings
  t.push_back(
      {"set-clock",
       "Set the device's clock (its time of day)",
       {{"DATETIME", ArgType::kDateTime, "local time as YYYY-MM-DDTHH:MM:SS, or now: the host's clock"}},
       [](Device& d, const Args& a) {
         const DateTime v = a.Time("DATETIME");
         return d.Act(d.Command().SetDeviceTime(v.year, v.month, v.day, v.hour, v.minute, v.second));
       }});
  t.back().oldPaths = {"set-time"};
  t.push_back(
      {"command8", "Send the bare command 8 (the device never answers it)", {}, [](Device& d, const Args&) {
         return d.Act(d.Command().SendCommand8());
       }});
  t.push_back({"command9", "Send the bare command 9", {}, [](Device& d, const Args&) {
                 return d.Act(d.Command().SendCommand9());
               }});
  for (int which : {51, 52}) {
    t.push_back({"command" + std::to_string(which),
                 "Send command " + std::to_string(which) + " with its four fields",
                 {Number("P", "number p"), RawText("T", "text t, passed on as given (options too)"),
                  RawText("A", "text a, passed on as given (options too)"), Number("O", "number o")},
                 [which](Device& d, const Args& a) {
                   auto send = which == 51 ? &ICommand::SendCommand51 : &ICommand::SendCommand52;
                   return d.Act(
                       (d.Command().*send)(a.Int("P"), a.Text("T").c_str(), a.Text("A").c_str(), a.Int("O")));
                 }});
  }
  t.push_back({"set-account",
               "Change the device's account (this tool keeps logging in with --user/--password)",
               {Text("USER", "new user name"), Text("PASS", "new password")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetAccount(a.Text("USER").c_str(), a.Text("PASS").c_str()));
               }});
  t.push_back({"set-port-setting",
               "Write the one-byte setting of a port",
               {Number("PORT", "port number"), Number("VALUE", "setting 0..255", 0, 255)},
               [](Device& d, const Args& a) {
                 return d.Act(
                     d.Command().SetPortSetting(a.Int("PORT"), static_cast<uint8_t>(a.Int("VALUE"))));
               }});
  t.push_back({"set-baud",
               "Write the baud rate of serial port 1",
               {Number("RATE", "bits per second, e.g. 9600")},
               [](Device& d, const Args& a) { return d.Act(d.Command().SetSerialBaudRate(a.Int("RATE"))); }});
  t.push_back({"get-baud", "Read the baud rate of serial port 1", {}, [](Device& d, const Args&) {
                 return d.Read("baud", [](ICommand& c) { return c.GetSerialBaudRate(); });
               }});

  // The two version queries send the same request and read the same number, so one
  // transaction answers both.
  t.push_back({"versions", "Read the device's BSP and NAPI version numbers", {}, [](Device& d, const Args&) {
                 Result result = d.Read("bsp", [](ICommand& c) { return VmlCmdQueryBspVersion(&c); });
                 if (result.ok) result.values["napi"] = result.values["bsp"];
                 return result;
               }});

  family("Device settings");

  // ---- PTZ heads and movement
  t.push_back({"ptz-protocol",
               "Choose the protocol of a PTZ head on the serial bus",
               {Number("PROTOCOL", "protocol number"), Number("HEAD", "head index (0 first)")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetPtzProtocol(a.Int("PROTOCOL"), a.Int("HEAD")));
               }});
  t.push_back({"ptz-address",
               "Set the bus address of a PTZ head",
               {Number("ADDRESS", "bus address"), Number("HEAD", "head index (0 first)")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetPtzAddress(a.Int("ADDRESS"), a.Int("HEAD")));
               }});
  t.push_back(
      {"ptz-parameters",
       "Tune the PTZ head of the video port",
       {Number("R", "r value"), Number("S", "s value")},
       [](Device& d, const Args& a) { return d.Act(d.Command().SetPtzParameters(a.Int("R"), a.Int("S"))); }});
  const std::pair<const char*, bool (ICommand::*)(int32_t)> moves[] = {
      {"pan", &ICommand::PtzPan},     {"tilt", &ICommand::PtzTilt}, {"zoom", &ICommand::PtzZoom},
      {"focus", &ICommand::PtzFocus}, {"iris", &ICommand::PtzIris},
  };
  for (const auto& [name, move] : moves) {
    t.push_back({std::string("ptz ") + name,
                 std::string("Start moving: ") + name + " (only the sign counts; it runs until ptz stop)",
                 {Number("DIRECTION", "+1 or -1")},
                 [move = move](Device& d, const Args& a) { return PtzMove(d, move, a.Int("DIRECTION")); }});
  }
  t.push_back({"ptz auto",
               "Switch the automatic mode of the head on or off",
               {Switch("MODE", "on or off")},
               [](Device& d, const Args& a) { return d.Act(d.Command().PtzAuto(a.Switch("MODE"))); }});
  t.push_back(
      {"ptz stop", "Stop any movement (also ends the automatic mode)", {}, [](Device& d, const Args&) {
         return d.Act(d.Command().PtzStop());
       }});

  family("PTZ heads and movement");

  // ---- Encoder and picture, one value at a time
  AddNumberPair(t, "bitrate", "bitrate", "encoder bitrate (kbit/s)", &ICommand::GetVideoBitrate,
                &ICommand::SetVideoBitrate);
  AddNumberPair(t, "frame-rate", "frame_rate", "encoder frame rate", &ICommand::GetVideoFrameRate,
                &ICommand::SetVideoFrameRate);
  AddNumberPair(t, "iframe-interval", "iframe_interval", "encoder I-frame interval",
                &ICommand::GetVideoIFrameInterval, &ICommand::SetVideoIFrameInterval);
  AddNumberPair(t, "quant-step", "quant_step", "encoder quantiser step", &ICommand::GetVideoQuantStep,
                &ICommand::SetVideoQuantStep);
  AddNumberPair(t, "param-r", "param_r", "encoder r parameter", &ICommand::GetVideoParamR,
                &ICommand::SetVideoParamR);
  t.push_back({"set-param-t",
               "Write the encoder t parameter of the given video port",
               {Text("TEXT", "value text"), Number("PORT", "video port number")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetVideoParamT(a.Text("TEXT").c_str(), a.Int("PORT")));
               }});
  AddNumberPair(t, "brightness", "brightness", "brightness (0..255)", &ICommand::GetBrightness,
                &ICommand::SetBrightness);
  AddNumberPair(t, "contrast", "contrast", "contrast (0..255)", &ICommand::GetContrast,
                &ICommand::SetContrast);
  AddNumberPair(t, "saturation", "saturation", "saturation (0..255)", &ICommand::GetSaturation,
                &ICommand::SetSaturation);
  AddNumberPair(t, "hue", "hue", "hue (0..255)", &ICommand::GetHue, &ICommand::SetHue);

  family("Encoder and picture, one value");

  // ---- Encoder and picture, all at once
  t.push_back({"video-settings",
               "Read all encoder and picture values of the video port (picture values 0..255)",
               {},
               [](Device& d, const Args&) {
                 VideoSettings s{};
                 return ReadVideoSettings(d, s);
               }});
  t.push_back(
      {"set-video-settings",
       "Change some encoder and picture values at once: reads all of them, replaces the given "
       "ones and writes all back. Picture values are 0..255, as in get-contrast and the others",
       {NumberOption("bitrate", "encoder bitrate"), NumberOption("frame-rate", "encoder frame rate"),
        NumberOption("iframe-interval", "encoder I-frame interval"),
        NumberOption("quant-step", "encoder quantiser step"), NumberOption("param-r", "encoder r parameter"),
        NumberOption("brightness", "brightness 0..255", 0, 255),
        NumberOption("contrast", "contrast 0..255", 0, 255),
        NumberOption("saturation", "saturation 0..255", 0, 255), NumberOption("hue", "hue 0..255", 0, 255)},
       [](Device& d, const Args& a) {
         VideoSettings s{};
         Result read = ReadVideoSettings(d, s);
         if (!read.ok) {
           read.note = "reading the current values failed; nothing written";
           return read;
         }
         for (const VideoField& f : kVideoFields) {
           if (a.Has(f.name)) s.*f.field = a.Int(f.name) - f.offset;
         }
         Result written = d.Act(d.Command().SetVideoSettings(&s));
         // Report what was written, under the names and on the scale the read uses.
         if (written.ok) ShowVideoSettings(s, written);
         return written;
       }});
  t.push_back({"restore-video-defaults",
               "Write the default encoder and picture values to the video port",
               {},
               [](Device& d, const Args&) { return d.Act(d.Command().RestoreVideoDefaults()); }});

  family("Encoder and picture, all values");

  // ---- Regions
  t.push_back(
      {"privacy-mask get",
       "Read the privacy-mask rectangle of the video port",
       {},
       [](Device& d, const Args&) {
         bool enabled = false;
         int32_t left = 0, top = 0, width = 0, height = 0;
         Result r = d.Act(d.Command().GetMaskRegion(&enabled, &left, &top, &width, &height, 0));
         if (r.ok)
           r.values = {
               {"enabled", enabled}, {"left", left}, {"top", top}, {"width", width}, {"height", height}};
         return r;
       }});
  t.back().oldPaths = {"mask get"};
  t.push_back({"privacy-mask set",
               "Write the privacy-mask rectangle of the video port",
               {Switch("ENABLED", "on or off"), Number("LEFT", "left edge"), Number("TOP", "top edge"),
                Number("WIDTH", "width"), Number("HEIGHT", "height")},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetMaskRegion(a.Switch("ENABLED"), a.Int("LEFT"), a.Int("TOP"),
                                                        a.Int("WIDTH"), a.Int("HEIGHT"), 0));
               }});
  t.back().oldPaths = {"mask set"};
  t.push_back(
      {"motion get", "Read the motion-detection rectangle of the video port", {}, [](Device& d, const Args&) {
         bool enabled = false;
         int32_t left = 0, top = 0, width = 0, height = 0, sensitivity = 0;
         Result r =
             d.Act(d.Command().GetMotionRegion(&enabled, &left, &top, &width, &height, &sensitivity, 0));
         if (r.ok)
           r.values = {{"enabled", enabled}, {"left", left},     {"top", top},
                       {"width", width},     {"height", height}, {"sensitivity", sensitivity}};
         return r;
       }});
  t.push_back(
      {"motion set",
       "Write the motion-detection rectangle of the video port",
       {Switch("ENABLED", "on or off"), Number("LEFT", "left edge"), Number("TOP", "top edge"),
        Number("WIDTH", "width"), Number("HEIGHT", "height"), Number("SENSITIVITY", "sensitivity 0..100")},
       [](Device& d, const Args& a) {
         return d.Act(d.Command().SetMotionRegion(a.Switch("ENABLED"), a.Int("LEFT"), a.Int("TOP"),
                                                  a.Int("WIDTH"), a.Int("HEIGHT"), a.Int("SENSITIVITY"), 0));
       }});

  family("Regions");

  // ---- On-screen display
  t.push_back(
      {"osd caption",
       "Read the on-screen caption of the video port (up to 279 bytes)",
       {},
       [](Device& d, const Args&) {
         bool show = false;
         int32_t position = 0;
         std::array<char, kCaptionBuffer> caption{};
         Result r =
             d.Act(VmlCmdGetOsdCaptionEx(&d.Command(), &show, &position, caption.data(), kCaptionBuffer));
         if (r.ok)
           r.values = {{"show", show}, {"position", position}, {"caption", d.FromDevice(caption.data())}};
         return r;
       }});
  t.push_back({"osd set-caption",
               "Write the on-screen caption of the video port",
               {Switch("SHOW", "on or off"), Number("POSITION", "screen position 1..8", 1, 8),
                Text("TEXT", "caption text")},
               [](Device& d, const Args& a) {
                 // The library takes the position as a list index counted from 0.
                 return d.Act(d.Command().SetOsdCaption(a.Switch("SHOW"), a.Int("POSITION") - 1,
                                                        a.Text("TEXT").c_str()));
               }});
  t.push_back(
      {"osd clock-overlay", "Read the on-screen clock of the video port", {}, [](Device& d, const Args&) {
         bool show = false;
         int32_t position = 0;
         Result r = d.Act(d.Command().GetOsdTime(&show, &position));
         if (r.ok) r.values = {{"show", show}, {"position", position}};
         return r;
       }});
  t.back().oldPaths = {"osd time"};
  t.push_back({"osd set-clock-overlay",
               "Show or hide the on-screen clock of the video port",
               {Switch("SHOW", "on or off"), Number("POSITION", "screen position 1..8", 1, 8)},
               [](Device& d, const Args& a) {
                 return d.Act(d.Command().SetOsdTime(a.Switch("SHOW"), a.Int("POSITION") - 1));
               }});
  t.back().oldPaths = {"osd set-time"};
  family("On-screen display");

  return t;
}

}  // namespace

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = BuildTable();
  return table;
}

const std::vector<Group>& Groups() {
  static const std::vector<Group> groups = {
      {"ptz", "Move the PTZ head of the video port"},
      {"privacy-mask", "Privacy-mask rectangle of the video port"},
      {"motion", "Motion-detection rectangle of the video port"},
      {"osd", "On-screen caption and clock of the video port"},
  };
  return groups;
}

const Entry* FindEntry(const std::string& path) {
  for (const Entry& entry : Table()) {
    if (entry.path == path) return &entry;
    for (const std::string& old : entry.oldPaths) {
      if (old == path) return &entry;
    }
  }
  return nullptr;
}

}  // namespace vmlctl
