#include "Engine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <utility>

#include "Texts.h"

namespace vmlcmd::config {

namespace {

// The document's sections in their canonical order, and their fields in theirs.
struct Section {
  const char* key;
  bool perPort;
  std::vector<const char*> fields;
};

const std::vector<Section>& Sections() {
  static const std::vector<Section> sections = {
      {"network", false, {"ip", "subnet_mask", "gateway"}},
      {"serial", false, {"baud"}},
      {"encoder", true, {"bitrate", "frame_rate", "iframe_interval", "quant_step", "param_r"}},
      {"picture", true, {"brightness", "contrast", "saturation", "hue"}},
      {"privacy_mask", true, {"enabled", "left", "top", "width", "height"}},
      {"motion", true, {"enabled", "left", "top", "width", "height", "sensitivity"}},
      {"caption", true, {"show", "position", "caption"}},
      {"clock_overlay", true, {"show", "position"}},
  };
  return sections;
}

// One library operation's worth of reading or writing. Encoder and picture are one unit: one
// GetVideoSettings reads both, and one SetVideoSettings writes both. The network is three
// reading units (the table has no operation that reads all three) but one writing unit.
enum class Unit {
  kIp,
  kSubnetMask,
  kGateway,
  kSerial,
  kVideo,
  kPrivacyMask,
  kMotion,
  kCaption,
  kClock,
  kNetwork
};

struct Leaf {
  int32_t port = -1;  // -1 for the device-wide sections
  std::string section;
  std::string field;
  Json value;
  std::string path;
};

Unit ReadUnitOf(const std::string& section, const std::string& field) {
  if (section == "network")
    return field == "ip" ? Unit::kIp : field == "subnet_mask" ? Unit::kSubnetMask : Unit::kGateway;
  if (section == "serial") return Unit::kSerial;
  if (section == "encoder" || section == "picture") return Unit::kVideo;
  if (section == "privacy_mask") return Unit::kPrivacyMask;
  if (section == "motion") return Unit::kMotion;
  if (section == "caption") return Unit::kCaption;
  return Unit::kClock;
}

Unit WriteUnitOf(const std::string& section, const std::string& field) {
  return section == "network" ? Unit::kNetwork : ReadUnitOf(section, field);
}

std::string PathOf(int32_t port, const std::string& section, const std::string& field) {
  const std::string base = port < 0 ? section : "video_ports." + std::to_string(port) + "." + section;
  return field.empty() ? base : base + "." + field;
}

Json& SectionOf(Json& document, int32_t port, const std::string& section) {
  if (port < 0) return document[section];
  return document["video_ports"][std::to_string(port)][section];
}

const Json* Find(const Json& document, int32_t port, const std::string& section, const std::string& field) {
  const Json* node = &document;
  if (port >= 0) {
    const auto ports = node->find("video_ports");
    if (ports == node->end()) return nullptr;
    const auto one = ports->find(std::to_string(port));
    if (one == ports->end()) return nullptr;
    node = &*one;
  }
  const auto s = node->find(section);
  if (s == node->end()) return nullptr;
  const auto f = s->find(field);
  return f == s->end() ? nullptr : &*f;
}

std::vector<int32_t> PortKeys(const Json& document) {
  std::vector<int32_t> ports;
  const auto found = document.find("video_ports");
  if (found == document.end() || !found->is_object()) return ports;
  for (const auto& [key, value] : found->items()) {
    (void)value;
    ports.push_back(static_cast<int32_t>(std::strtol(key.c_str(), nullptr, 10)));
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

// Every field the document names, in canonical order.
std::vector<Leaf> Leaves(const Json& document) {
  std::vector<Leaf> leaves;
  auto add = [&](int32_t port, const Section& section) {
    for (const char* field : section.fields) {
      if (const Json* value = Find(document, port, section.key, field)) {
        leaves.push_back(Leaf{port, section.key, field, *value, PathOf(port, section.key, field)});
      }
    }
  };
  for (const Section& section : Sections()) {
    if (!section.perPort) add(-1, section);
  }
  for (const int32_t port : PortKeys(document)) {
    for (const Section& section : Sections()) {
      if (section.perPort) add(port, section);
    }
  }
  return leaves;
}

bool Unreachable(int32_t stage) {
  switch (stage) {
    case VmlCmdStageNoNetworkLink:
    case VmlCmdStageAddressInvalid:
    case VmlCmdStageConnectRefused:
    case VmlCmdStageConnectTimedOut:
    case VmlCmdStageConnectFailed:
    case VmlCmdStageLoginRefused:
      return true;
    default:
      return false;
  }
}

std::string Reason(const VmlCmdOutcome& outcome) {
  char text[128] = {};
  VmlCmdGetStageText(outcome.stage, 0, text, static_cast<int32_t>(sizeof text));
  std::string reason = outcome.stage == VmlCmdStageSuccess || text[0] == '\0' ? "refused" : text;
  if (outcome.stage == VmlCmdStageReplyStatus || outcome.stage == VmlCmdStageLoginRefused)
    reason += " (status " + std::to_string(outcome.status) + ")";
  if (outcome.stage == VmlCmdStageValueMissing && outcome.letter != 0)
    reason += std::string(" (no '") + outcome.letter + "')";
  return reason;
}

// The operations of one device, counted, with what failed in words. Once the device cannot be
// reached, the remaining operations are not tried: each would wait for its own connect.
class Session {
 public:
  Session(ICommand& command, int textEncoding) : encoding(textEncoding), command_(command) {}

  bool Run(const char* name, int32_t port, unsigned requests, bool valueResult,
           const std::function<bool(ICommand&)>& operation) {
    if (unreachable_) return false;
    if (port >= 0) command_.SetVideoPort(port);
    ++cost.operations;
    cost.requests += requests;
    const bool result = operation(command_);
    VmlCmdOutcome outcome{};
    outcome.size = sizeof outcome;
    if (!VmlCmdGetLastOutcome(&command_, &outcome)) outcome.stage = VmlCmdStageNone;
    // A getter's 0 may be a value or a failure; only the outcome tells.
    const bool ok = valueResult ? outcome.stage == VmlCmdStageSuccess : result;
    if (ok) return true;
    std::string where = name;
    if (port >= 0) where += " (video port " + std::to_string(port) + ")";
    lastError = where + ": " + Reason(outcome);
    errors.push_back(lastError);
    // A login that failed, or a reply that never came, will fail the same way on every
    // further operation, each after its own wait.
    if (Unreachable(outcome.stage) || outcome.exchange == VmlCmdExchangeLogin ||
        outcome.stage == VmlCmdStageReplyTimedOut)
      unreachable_ = true;
    return false;
  }

  // A rollback tries again even after the device stopped answering: it may be back.
  void Retry() { unreachable_ = false; }

  const int encoding;  // of the device's texts
  Cost cost;
  std::vector<std::string> errors;
  std::string lastError;

 private:
  ICommand& command_;
  bool unreachable_ = false;
};

// A text the device reported that is no address: nothing the document could hold.
bool ReadAddress(Session& session, const char* name, bool (ICommand::*get)(char*), Json& into,
                 const char* field) {
  std::array<char, VMLCMD_ADDRESS_BUFFER_SIZE> buffer{};
  if (!session.Run(name, -1, 1, false, [&](ICommand& c) { return (c.*get)(buffer.data()); })) return false;
  if (buffer[0] == '\0') {
    session.errors.push_back(std::string(name) + ": the device sent no value");
    return false;
  }
  into["network"][field] = std::string(buffer.data());
  return true;
}

// The picture values of the combined operations are device values: contrast, saturation and
// hue travel 128 below the 0..255 scale of the document and of the single-value operations.
constexpr int32_t kPictureOffset = 128;

void ReadUnit(Session& session, Unit unit, int32_t port, Json& into) {
  switch (unit) {
    case Unit::kIp:
      ReadAddress(session, "GetIpAddress", &ICommand::GetIpAddress, into, "ip");
      return;
    case Unit::kSubnetMask:
      ReadAddress(session, "GetSubnetMask", &ICommand::GetSubnetMask, into, "subnet_mask");
      return;
    case Unit::kGateway:
      ReadAddress(session, "GetGateway", &ICommand::GetGateway, into, "gateway");
      return;
    case Unit::kSerial: {
      int32_t baud = 0;
      if (session.Run("GetSerialBaudRate", -1, 1, true,
                      [&](ICommand& c) { return (baud = c.GetSerialBaudRate()) != 0; }))
        into["serial"]["baud"] = baud;
      return;
    }
    case Unit::kVideo: {
      VideoSettings s{};
      if (!session.Run("GetVideoSettings", port, 2, false,
                       [&](ICommand& c) { return c.GetVideoSettings(&s); }))
        return;
      Json& encoder = SectionOf(into, port, "encoder");
      encoder["bitrate"] = s.bitrate;
      encoder["frame_rate"] = s.frameRate;
      encoder["iframe_interval"] = s.iFrameInterval;
      encoder["quant_step"] = s.quantStep;
      encoder["param_r"] = s.paramR;
      Json& picture = SectionOf(into, port, "picture");
      picture["brightness"] = s.brightness;
      picture["contrast"] = s.contrast + kPictureOffset;
      picture["saturation"] = s.saturation + kPictureOffset;
      picture["hue"] = s.hue + kPictureOffset;
      return;
    }
    case Unit::kPrivacyMask: {
      bool enabled = false;
      int32_t left = 0, top = 0, width = 0, height = 0;
      if (!session.Run("GetMaskRegion", port, 1, false, [&](ICommand& c) {
            return c.GetMaskRegion(&enabled, &left, &top, &width, &height, 0);
          }))
        return;
      SectionOf(into, port, "privacy_mask") = {
          {"enabled", enabled}, {"left", left}, {"top", top}, {"width", width}, {"height", height}};
      return;
    }
    case Unit::kMotion: {
      bool enabled = false;
      int32_t left = 0, top = 0, width = 0, height = 0, sensitivity = 0;
      if (!session.Run("GetMotionRegion", port, 1, false, [&](ICommand& c) {
            return c.GetMotionRegion(&enabled, &left, &top, &width, &height, &sensitivity, 0);
          }))
        return;
      SectionOf(into, port, "motion") = {{"enabled", enabled}, {"left", left},
                                         {"top", top},         {"width", width},
                                         {"height", height},   {"sensitivity", sensitivity}};
      return;
    }
    case Unit::kCaption: {
      bool show = false;
      int32_t position = 0;
      // Longer than any reply text, so a caption is never cut here.
      std::array<char, 300> caption{};
      if (!session.Run("GetOsdCaption", port, 1, false, [&](ICommand& c) {
            return VmlCmdGetOsdCaptionEx(&c, &show, &position, caption.data(),
                                         static_cast<int32_t>(caption.size()));
          }))
        return;
      SectionOf(into, port, "caption") = {
          {"show", show},
          {"position", position},
          {"caption", DocumentText(std::string(caption.data()), session.encoding)}};
      return;
    }
    case Unit::kClock: {
      bool show = false;
      int32_t position = 0;
      if (!session.Run("GetOsdTime", port, 1, false,
                       [&](ICommand& c) { return c.GetOsdTime(&show, &position); }))
        return;
      SectionOf(into, port, "clock_overlay") = {{"show", show}, {"position", position}};
      return;
    }
    case Unit::kNetwork:
      return;
  }
}

// The reading units that cover these fields, each once, in canonical order.
void ReadFor(Session& session, const std::vector<Leaf>& leaves, Json& into) {
  std::vector<std::pair<Unit, int32_t>> done;
  for (const Leaf& leaf : leaves) {
    const std::pair<Unit, int32_t> unit{ReadUnitOf(leaf.section, leaf.field), leaf.port};
    if (std::find(done.begin(), done.end(), unit) != done.end()) continue;
    done.push_back(unit);
    ReadUnit(session, unit.first, unit.second, into);
  }
}

int32_t Int(const Json& document, int32_t port, const char* section, const char* field) {
  const Json* value = Find(document, port, section, field);
  return value == nullptr ? 0 : value->get<int32_t>();
}

bool Bool(const Json& document, int32_t port, const char* section, const char* field) {
  const Json* value = Find(document, port, section, field);
  return value != nullptr && value->get<bool>();
}

std::string Text(const Json& document, int32_t port, const char* section, const char* field) {
  const Json* value = Find(document, port, section, field);
  return value == nullptr ? std::string() : value->get<std::string>();
}

// The changed fields of one writing unit.
struct Group {
  Unit unit;
  int32_t port;
  std::vector<const Change*> changes;
  std::vector<std::pair<std::string, std::string>> fields;  // section, field
};

using Setter = bool (ICommand::*)(int32_t);

Setter SingleVideoSetter(const std::string& section, const std::string& field, const char** name) {
  static const std::array<std::tuple<const char*, const char*, Setter, const char*>, 9> setters = {{
      {"encoder", "bitrate", &ICommand::SetVideoBitrate, "SetVideoBitrate"},
      {"encoder", "frame_rate", &ICommand::SetVideoFrameRate, "SetVideoFrameRate"},
      {"encoder", "iframe_interval", &ICommand::SetVideoIFrameInterval, "SetVideoIFrameInterval"},
      {"encoder", "quant_step", &ICommand::SetVideoQuantStep, "SetVideoQuantStep"},
      {"encoder", "param_r", &ICommand::SetVideoParamR, "SetVideoParamR"},
      {"picture", "brightness", &ICommand::SetBrightness, "SetBrightness"},
      {"picture", "contrast", &ICommand::SetContrast, "SetContrast"},
      {"picture", "saturation", &ICommand::SetSaturation, "SetSaturation"},
      {"picture", "hue", &ICommand::SetHue, "SetHue"},
  }};
  for (const auto& [s, f, setter, n] : setters) {
    if (section == s && field == f) {
      *name = n;
      return setter;
    }
  }
  return nullptr;
}

// Writes one unit with values: a whole document holding every field of the unit (the device's
// own values merged with the wanted ones, or the snapshot). Where one field changed, its own
// setter writes it; where several did, the unit's combined operation writes them all, and the
// fields that did not change go back with the values just read.
bool WriteGroup(Session& session, const Group& group, const Json& values) {
  const int32_t p = group.port;
  switch (group.unit) {
    case Unit::kNetwork: {
      const std::string ip = Text(values, -1, "network", "ip");
      const std::string mask = Text(values, -1, "network", "subnet_mask");
      const std::string gateway = Text(values, -1, "network", "gateway");
      if (group.fields.size() == 1) {
        const std::string& field = group.fields[0].second;
        if (field == "ip")
          return session.Run("SetIpAddress", -1, 1, false,
                             [&](ICommand& c) { return c.SetIpAddress(ip.c_str()); });
        if (field == "subnet_mask")
          return session.Run("SetSubnetMask", -1, 1, false,
                             [&](ICommand& c) { return c.SetSubnetMask(mask.c_str()); });
        return session.Run("SetGateway", -1, 1, false,
                           [&](ICommand& c) { return c.SetGateway(gateway.c_str()); });
      }
      return session.Run("SetNetworkConfig", -1, 1, false, [&](ICommand& c) {
        return c.SetNetworkConfig(ip.c_str(), mask.c_str(), gateway.c_str());
      });
    }
    case Unit::kSerial: {
      const int32_t baud = Int(values, -1, "serial", "baud");
      return session.Run("SetSerialBaudRate", -1, 1, false,
                         [&](ICommand& c) { return c.SetSerialBaudRate(baud); });
    }
    case Unit::kVideo: {
      if (group.fields.size() == 1) {
        const auto& [section, field] = group.fields[0];
        const char* name = "";
        const Setter setter = SingleVideoSetter(section, field, &name);
        const int32_t value = Int(values, p, section.c_str(), field.c_str());
        return session.Run(name, p, 1, false, [&](ICommand& c) { return (c.*setter)(value); });
      }
      VideoSettings s{};
      s.bitrate = Int(values, p, "encoder", "bitrate");
      s.frameRate = Int(values, p, "encoder", "frame_rate");
      s.iFrameInterval = Int(values, p, "encoder", "iframe_interval");
      s.quantStep = Int(values, p, "encoder", "quant_step");
      s.paramR = Int(values, p, "encoder", "param_r");
      s.brightness = Int(values, p, "picture", "brightness");
      s.contrast = Int(values, p, "picture", "contrast") - kPictureOffset;
      s.saturation = Int(values, p, "picture", "saturation") - kPictureOffset;
      s.hue = Int(values, p, "picture", "hue") - kPictureOffset;
      return session.Run("SetVideoSettings", p, 2, false,
                         [&](ICommand& c) { return c.SetVideoSettings(&s); });
    }
    case Unit::kPrivacyMask: {
      const char* m = "privacy_mask";
      return session.Run("SetMaskRegion", p, 1, false, [&](ICommand& c) {
        return c.SetMaskRegion(Bool(values, p, m, "enabled"), Int(values, p, m, "left"),
                               Int(values, p, m, "top"), Int(values, p, m, "width"),
                               Int(values, p, m, "height"), 0);
      });
    }
    case Unit::kMotion: {
      const char* m = "motion";
      return session.Run("SetMotionRegion", p, 1, false, [&](ICommand& c) {
        return c.SetMotionRegion(Bool(values, p, m, "enabled"), Int(values, p, m, "left"),
                                 Int(values, p, m, "top"), Int(values, p, m, "width"),
                                 Int(values, p, m, "height"), Int(values, p, m, "sensitivity"), 0);
      });
    }
    case Unit::kCaption: {
      // Planned texts were checked to convert, so this cannot fail; an empty one would be sent.
      std::string caption;
      std::string why;
      if (const Json* text = Find(values, p, "caption", "caption"))
        DeviceBytes(*text, session.encoding, &caption, &why);
      // The setter takes the position as a list index; the document holds it as on the wire.
      return session.Run("SetOsdCaption", p, 1, false, [&](ICommand& c) {
        return c.SetOsdCaption(Bool(values, p, "caption", "show"), Int(values, p, "caption", "position") - 1,
                               caption.c_str());
      });
    }
    case Unit::kClock:
      return session.Run("SetOsdTime", p, 1, false, [&](ICommand& c) {
        return c.SetOsdTime(Bool(values, p, "clock_overlay", "show"),
                            Int(values, p, "clock_overlay", "position") - 1);
      });
    default:
      return false;
  }
}

void Set(Json& document, const Leaf& leaf, const Json& value) {
  SectionOf(document, leaf.port, leaf.section)[leaf.field] = value;
}

std::vector<Leaf> LeavesOf(const std::vector<Group>& groups, const std::vector<Leaf>& all) {
  std::vector<Leaf> leaves;
  for (const Group& group : groups) {
    for (const Change* change : group.changes) {
      for (const Leaf& leaf : all) {
        if (leaf.path == change->path) leaves.push_back(leaf);
      }
    }
  }
  return leaves;
}

std::string Show(const Json& value) {
  return value.is_null() ? "unknown" : value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Whether writing the group sends fields it does not change: the combined operations write a
// whole unit, so the fields the group leaves alone are carried over from what was read.
bool CarriesOver(const Group& group) {
  switch (group.unit) {
    case Unit::kSerial:
      return false;
    case Unit::kVideo:
    case Unit::kNetwork:
      return group.fields.size() > 1;
    default:
      return true;
  }
}

// The fields a write of the group carries over, with the values the snapshot holds for them.
std::vector<Leaf> CarriedLeaves(const Group& group, const Json& snapshot) {
  std::vector<Leaf> carried;
  if (!CarriesOver(group)) return carried;
  const int32_t port = group.unit == Unit::kNetwork ? -1 : group.port;
  for (const Section& section : Sections()) {
    for (const char* field : section.fields) {
      if (WriteUnitOf(section.key, field) != group.unit || section.perPort != (port >= 0)) continue;
      const bool changed =
          std::find(group.fields.begin(), group.fields.end(),
                    std::pair<std::string, std::string>(section.key, field)) != group.fields.end();
      const Json* was = Find(snapshot, port, section.key, field);
      if (!changed && was != nullptr)
        carried.push_back(Leaf{port, section.key, field, *was, PathOf(port, section.key, field)});
    }
  }
  return carried;
}

// Just before a group is written, the fields it carries over are read again: one that another
// writer changed since they were read would be written back with its old value, a change lost
// without a word. Lines for those that changed, or for a reading that failed.
std::vector<std::string> ChangedSince(Session& session, const Group& group, const Json& snapshot) {
  const std::vector<Leaf> carried = CarriedLeaves(group, snapshot);
  std::vector<std::string> lines;
  if (carried.empty()) return lines;
  Json fresh = Json::object();
  const std::size_t errorsBefore = session.errors.size();
  ReadFor(session, carried, fresh);
  if (session.errors.size() > errorsBefore) {
    lines.push_back("could not be read again before writing: " + session.errors.back());
    return lines;
  }
  for (const Leaf& leaf : carried) {
    const Json* now = Find(fresh, leaf.port, leaf.section, leaf.field);
    if (now == nullptr || *now != leaf.value)
      lines.push_back(leaf.path + ": " + Show(leaf.value) + " -> " +
                      (now == nullptr ? "unknown" : Show(*now)));
  }
  return lines;
}

}  // namespace

bool Load(const std::string& text, Json* document, std::vector<Refusal>* refusals) {
  refusals->clear();
  auto refuse = [&](std::string problem) {
    Refusal refusal;
    refusal.key = "document";
    refusal.problem = std::move(problem);
    refusals->push_back(refusal);
    return false;
  };
  if (text.size() > kLongestDocument)
    return refuse("longer than " + std::to_string(kLongestDocument) + " bytes, the most a document may hold");
  bool tooDeep = false;
  const auto guard = [&](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= kDeepestDocument)
      tooDeep = true;
    return !tooDeep;
  };
  try {
    *document = Json::parse(text, guard);
  } catch (const Json::out_of_range& e) {
    const std::string what = e.what();
    const std::size_t quote = what.find('\'');
    return refuse("holds a number out of range" +
                  (quote == std::string::npos ? std::string() : " (" + what.substr(quote, 40) + ")"));
  } catch (const Json::parse_error& e) {
    Refusal refusal;
    refusal.key = "document";
    // nlohmann's own message names the line and column.
    const std::string what = e.what();
    const auto colon = what.find(": ");
    refusal.problem = "not JSON: " + (colon == std::string::npos ? what : what.substr(colon + 2));
    refusals->push_back(refusal);
    return false;
  }
  if (tooDeep || document->is_discarded())
    return refuse("nests deeper than " + std::to_string(kDeepestDocument) + " levels");
  *refusals = Check(*document);
  for (Refusal& refusal : *refusals) {
    std::vector<std::string> path;
    std::string part;
    const std::string full = refusal.Path();
    for (const char c : full) {
      if (c == '.') {
        path.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    path.push_back(part);
    if (refusal.key != "document") refusal.line = LineOf(text, path);
  }
  return refusals->empty();
}

std::vector<Refusal> Check(const Json& document) {
  // The checker reads the unordered form; the order of keys means nothing to it.
  return DocumentSchema().Check(
      nlohmann::json::parse(document.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

Json Canonical(const Json& document) {
  Json out = Json::object();
  if (const auto format = document.find("format"); format != document.end()) out["format"] = *format;
  for (const Leaf& leaf : Leaves(document)) Set(out, leaf, leaf.value);
  return out;
}

bool ParsePorts(const std::string& text, std::vector<int32_t>* ports) {
  ports->clear();
  std::size_t i = 0;
  auto number = [&](int32_t* value) {
    const std::size_t start = i;
    long n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 4)
      n = n * 10 + (text[i++] - '0');
    *value = static_cast<int32_t>(n);
    return i > start && (i == text.size() || text[i] < '0' || text[i] > '9');
  };
  while (true) {
    int32_t first = 0;
    if (!number(&first)) return false;
    int32_t last = first;
    if (i < text.size() && text[i] == '-') {
      ++i;
      if (!number(&last) || last < first) return false;
    }
    for (int32_t p = first; p <= last; ++p) ports->push_back(p);
    if (i == text.size()) break;
    if (text[i++] != ',') return false;
  }
  std::sort(ports->begin(), ports->end());
  ports->erase(std::unique(ports->begin(), ports->end()), ports->end());
  return true;
}

ReadResult Read(ICommand& command, const std::vector<int32_t>& ports, int textEncoding) {
  // Every field of the sections asked for, with placeholder values: only their keys matter.
  Json wanted = Json::object();
  for (const Section& section : Sections()) {
    if (section.perPort) {
      for (const int32_t port : ports) {
        for (const char* field : section.fields) SectionOf(wanted, port, section.key)[field] = nullptr;
      }
    } else {
      for (const char* field : section.fields) SectionOf(wanted, -1, section.key)[field] = nullptr;
    }
  }
  Session session(command, textEncoding);
  Json read = Json::object();
  ReadFor(session, Leaves(wanted), read);
  ReadResult result;
  result.document = Canonical(read);
  Json withFormat = Json::object();
  withFormat["format"] = kFormat;
  for (auto& [key, value] : result.document.items()) withFormat[key] = value;
  result.document = std::move(withFormat);
  result.errors = std::move(session.errors);
  result.cost = session.cost;
  return result;
}

namespace {

// The wanted texts in the form a reading gives, so that equal bytes compare equal; a text the
// device's encoding cannot carry is refused with its field before anything is sent.
bool NormalizeTexts(std::vector<Leaf>& leaves, int encoding, std::vector<std::string>* errors) {
  bool ok = true;
  for (Leaf& leaf : leaves) {
    if (leaf.section != "caption" || leaf.field != "caption") continue;
    std::string why;
    Json normal;
    if (NormalText(leaf.value, encoding, &normal, &why)) {
      leaf.value = std::move(normal);
    } else {
      errors->push_back(leaf.path + ": " + why + "; nothing was sent");
      ok = false;
    }
  }
  return ok;
}

std::vector<Change> Diff(const std::vector<Leaf>& leaves, const Json& current) {
  std::vector<Change> changes;
  for (const Leaf& leaf : leaves) {
    const Json* now = Find(current, leaf.port, leaf.section, leaf.field);
    if (now == nullptr) continue;  // not read; the reading's error says why
    if (*now != leaf.value) changes.push_back(Change{leaf.path, *now, leaf.value});
  }
  return changes;
}

}  // namespace

PlanResult Plan(ICommand& command, const Json& wanted, int textEncoding) {
  Session session(command, textEncoding);
  Json current = Json::object();
  std::vector<Leaf> leaves = Leaves(wanted);
  if (!NormalizeTexts(leaves, textEncoding, &session.errors)) {
    PlanResult refused;
    refused.errors = std::move(session.errors);
    return refused;
  }
  ReadFor(session, leaves, current);
  PlanResult plan;
  plan.changes = Diff(leaves, current);
  plan.errors = std::move(session.errors);
  plan.cost = session.cost;
  return plan;
}

ApplyResult Apply(ICommand& command, const Json& wanted, const ApplyOptions& options) {
  ApplyResult result;
  Session session(command, options.textEncoding);
  Json snapshot = Json::object();
  std::vector<Leaf> leaves = Leaves(wanted);
  if (!NormalizeTexts(leaves, options.textEncoding, &result.failed)) return result;
  ReadFor(session, leaves, snapshot);
  result.changes = Diff(leaves, snapshot);
  auto finish = [&]() -> ApplyResult {
    result.cost = session.cost;
    return std::move(result);
  };
  if (!session.errors.empty()) {
    // Nothing is written to a device that could not be read whole: no snapshot to go back to.
    result.failed = session.errors;
    return finish();
  }
  if (options.check || result.changes.empty()) return finish();

  // The changes by writing unit, in canonical order; the network apart, to go last.
  std::vector<Group> groups;
  Group network{Unit::kNetwork, -1, {}, {}};
  std::vector<Leaf> changedLeaves;
  for (const Change& change : result.changes) {
    for (const Leaf& leaf : leaves) {
      if (leaf.path != change.path) continue;
      changedLeaves.push_back(leaf);
      const Unit unit = WriteUnitOf(leaf.section, leaf.field);
      Group* group = nullptr;
      if (unit == Unit::kNetwork) {
        group = &network;
      } else {
        for (Group& g : groups) {
          if (g.unit == unit && g.port == leaf.port) group = &g;
        }
        if (group == nullptr) {
          groups.push_back(Group{unit, leaf.port, {}, {}});
          group = &groups.back();
        }
      }
      group->changes.push_back(&change);
      group->fields.emplace_back(leaf.section, leaf.field);
    }
  }

  Json target = snapshot;
  for (const Leaf& leaf : changedLeaves) Set(target, leaf, leaf.value);

  // Write unit by unit; stop at the first that fails, since the device is then in doubt. A
  // group whose carried-over fields another writer changed since the plan is not written.
  std::vector<Group> written;
  bool broken = false;
  bool writeFailed = false;
  for (const Group& group : groups) {
    const std::vector<std::string> moved = ChangedSince(session, group, snapshot);
    if (!moved.empty()) {
      std::string list;
      for (const std::string& line : moved) list += (list.empty() ? "" : "; ") + line;
      result.failed.push_back("changed by someone else since the plan: " + list + " (nothing of " +
                              PathOf(group.port, group.fields.front().first, "") + " was written)");
      broken = true;
      break;
    }
    written.push_back(group);
    if (!WriteGroup(session, group, target)) {
      result.failed.push_back("write failed: " + session.lastError);
      broken = true;
      writeFailed = true;
      break;
    }
  }
  // Read back: the whole of each written group, carried-over fields included. Without a
  // rollback a failed write is read back too, so the answer says what the device now holds.
  if ((!broken || (writeFailed && !options.rollback)) && !written.empty()) {
    session.Retry();
    Json after = Json::object();
    std::vector<Leaf> check = LeavesOf(written, leaves);
    std::vector<Leaf> carried;
    for (const Group& group : written) {
      for (Leaf& leaf : CarriedLeaves(group, snapshot)) carried.push_back(std::move(leaf));
    }
    ReadFor(session, check, after);
    ReadFor(session, carried, after);
    for (const Leaf& leaf : check) {
      const Json* now = Find(after, leaf.port, leaf.section, leaf.field);
      if (now == nullptr) {
        result.failed.push_back("not verified: " + leaf.path + " could not be read back");
        broken = true;
      } else if (*now == leaf.value) {
        result.verified.push_back(leaf.path);
        if (writeFailed) result.failed.push_back("the failed write took: " + leaf.path + " is " + Show(*now));
      } else {
        result.failed.push_back((writeFailed ? "after the failed write: " : "not applied: ") + leaf.path +
                                " is " + Show(*now) + ", wanted " + Show(leaf.value));
        broken = true;
      }
    }
    for (const Leaf& leaf : carried) {
      const Json* now = Find(after, leaf.port, leaf.section, leaf.field);
      if (now != nullptr && *now != leaf.value) {
        result.failed.push_back("changed while written: " + leaf.path + " is " + Show(*now) + ", was " +
                                Show(leaf.value));
        broken = true;
      }
    }
  }

  if (broken && options.rollback && !written.empty()) {
    result.rollbackTried = true;
    session.Retry();
    const std::size_t errorsBefore = session.errors.size();
    bool held = true;
    for (const Group& group : written) held = WriteGroup(session, group, snapshot) && held;
    Json after = Json::object();
    const std::vector<Leaf> check = LeavesOf(written, leaves);
    ReadFor(session, check, after);
    for (const Leaf& leaf : check) {
      const Json* now = Find(after, leaf.port, leaf.section, leaf.field);
      const Json* was = Find(snapshot, leaf.port, leaf.section, leaf.field);
      if (now == nullptr || was == nullptr || *now != *was) held = false;
    }
    result.rolledBack = held;
    if (!held) {
      std::string why = session.errors.size() > errorsBefore ? ": " + session.errors.back() : "";
      result.failed.push_back("rollback did not hold" + why);
    }
  }

  if (!network.changes.empty()) {
    if (!options.allowAddressChange) {
      for (const Change* change : network.changes)
        result.failed.push_back("held back: " + ChangeLine(*change) +
                                " (a change of address needs allow_address_change)");
    } else if (broken) {
      result.failed.push_back("network not written: the changes before it did not hold");
    } else if (!WriteGroup(session, network, target)) {
      result.failed.push_back("write failed: " + session.lastError);
    } else {
      // A new address cuts this object off; the device is looked for where it now should be.
      const std::string oldIp = Text(snapshot, -1, "network", "ip");
      const std::string newIp = Text(target, -1, "network", "ip");
      ICommand* fresh = nullptr;
      if (newIp != oldIp && options.target != nullptr) {
        fresh = CreateICommand();
        if (fresh != nullptr &&
            !fresh->SetNetworkTarget(newIp.c_str(), options.target->port, options.target->user.c_str(),
                                     options.target->password.c_str())) {
          fresh->Release();
          fresh = nullptr;
        }
      }
      Session there(fresh != nullptr ? *fresh : command, options.textEncoding);
      Json after = Json::object();
      std::vector<Leaf> check;
      for (const Leaf& leaf : changedLeaves) {
        if (leaf.section == "network") check.push_back(leaf);
      }
      ReadFor(there, check, after);
      for (const Leaf& leaf : check) {
        const Json* now = Find(after, leaf.port, leaf.section, leaf.field);
        if (now == nullptr) {
          result.failed.push_back("unverified: " + leaf.path + ": the device did not answer at " +
                                  (fresh != nullptr ? newIp : std::string("its address")) +
                                  (there.errors.empty() ? "" : " (" + there.errors.front() + ")"));
        } else if (*now == leaf.value) {
          result.verified.push_back(leaf.path);
        } else {
          result.failed.push_back("not applied: " + leaf.path + " is " + Show(*now) + ", wanted " +
                                  Show(leaf.value));
        }
      }
      session.cost.operations += there.cost.operations;
      session.cost.requests += there.cost.requests;
      if (fresh != nullptr) fresh->Release();
    }
  }
  return finish();
}

std::string ChangeLine(const Change& change) {
  return change.path + ": " + Show(change.from) + " -> " + Show(change.to);
}

Json ToJson(const Change& change) {
  return Json{{"path", change.path}, {"from", change.from}, {"to", change.to}};
}

namespace {

Json ChangesJson(const std::vector<Change>& changes) {
  Json list = Json::array();
  for (const Change& change : changes) list.push_back(ToJson(change));
  return list;
}

Json CostJson(const Cost& cost) { return Json{{"operations", cost.operations}, {"requests", cost.requests}}; }

}  // namespace

Json ToJson(const PlanResult& plan) {
  return Json{
      {"changes", ChangesJson(plan.changes)}, {"errors", plan.errors}, {"transactions", CostJson(plan.cost)}};
}

Json ToJson(const ApplyResult& result) {
  return Json{{"changes", ChangesJson(result.changes)},
              {"verified", result.verified},
              {"failed", result.failed},
              {"rollback_tried", result.rollbackTried},
              {"rolled_back", result.rolledBack},
              {"transactions", CostJson(result.cost)}};
}

}  // namespace vmlcmd::config
