#include "Devices.h"

#include <algorithm>

#include "Commands.h"
#include "Reason.h"

namespace gateway {

namespace {

// The library's own limits; a longer name is refused on every call, so it is refused here once.
constexpr std::size_t kUserLimit = 16;
constexpr std::size_t kPasswordLimit = 8;

}  // namespace

const char* StateName(Health::State state) {
  switch (state) {
    case Health::State::kUp:
      return "up";
    case Health::State::kDown:
      return "down";
    case Health::State::kUnknown:
      break;
  }
  return "unknown";
}

Evidence EvidenceOf(int32_t stage) {
  switch (stage) {
    case VmlCmdStageSuccess:
    case VmlCmdStageReplyStatus:
    case VmlCmdStageValueMissing:
      return Evidence::kUp;
    case VmlCmdStageAddressInvalid:
    case VmlCmdStageConnectRefused:
    case VmlCmdStageConnectTimedOut:
    case VmlCmdStageConnectFailed:
    case VmlCmdStageLoginRefused:
    case VmlCmdStageSendFailed:
    case VmlCmdStageReplyTimedOut:
    case VmlCmdStageClosedByDevice:
    case VmlCmdStageReceiveFailed:
    case VmlCmdStageNotNapiDevice:
      return Evidence::kDown;
    default:
      return Evidence::kNone;
  }
}

int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

DeviceEntry::DeviceEntry(std::string id, std::string name, vmlctl::Target target, std::string group)
    : id_(std::move(id)), name_(std::move(name)), target_(std::move(target)), group_(std::move(group)) {
  // The account was checked to convert when the device was added.
  std::string user;
  std::string password;
  vmlctl::ToDeviceText(target_.textEncoding, target_.user, &user);
  vmlctl::ToDeviceText(target_.textEncoding, target_.password, &password);
  for (ICommand** object : {&command_, &stopCommand_}) {
    *object = CreateICommand();
    if (*object == nullptr) continue;
    (*object)->SetNetworkTarget(target_.host.c_str(), target_.port, user.c_str(), password.c_str());
    (*object)->SetVideoPort(target_.videoPort);
  }
}

DeviceEntry::~DeviceEntry() {
  if (command_) command_->Release();
  if (stopCommand_) stopCommand_->Release();
}

const char* DeviceEntry::PtzName(Ptz state) {
  switch (state) {
    case Ptz::kMoving:
      return "moving";
    case Ptz::kMayBeMoving:
      return "may be moving";
    case Ptz::kStopped:
      break;
  }
  return "stopped";
}

bool DeviceEntry::SendStop(VmlCmdOutcome* outcome, bool retry) {
  std::lock_guard<std::mutex> lock(stopMutex_);
  *outcome = VmlCmdOutcome{};
  outcome->size = sizeof *outcome;
  if (stopCommand_ == nullptr) {
    outcome->stage = VmlCmdStageNoNetworkLink;
    return false;
  }
  ++stopsSent_;
  if (retry) ++stopsRetried_;
  const bool ok = stopCommand_->PtzStop();
  VmlCmdGetLastOutcome(stopCommand_, outcome);
  if (!ok) ++stopsFailed_;
  return ok;
}

Json DeviceEntry::Describe() const {
  Json out;
  out["id"] = id_;
  out["name"] = name_;
  out["group"] = group_.empty() ? Json(nullptr) : Json(group_);
  out["host"] = target_.host;
  out["port"] = target_.port;
  out["user"] = target_.user;
  out["videoPort"] = target_.videoPort;
  out["textEncoding"] = vmlctl::EncodingName(target_.textEncoding);
  out["ptz"] = PtzName(PtzState());
  std::lock_guard<std::mutex> lock(lastMutex_);
  out["state"] = StateName(health_.state);
  out["since"] = health_.sinceMilliseconds == 0 ? Json(nullptr) : Json(health_.sinceMilliseconds);
  Json health;
  health["failure"] = health_.failureStage.empty() ? Json(nullptr)
                                                   : Json{{"stage", health_.failureStage},
                                                          {"message", health_.failureMessage},
                                                          {"at", health_.failureAtMilliseconds}};
  health["versions"] = health_.versionsKnown
                           ? Json{{"bsp", health_.bspVersion}, {"napi", health_.napiVersion}}
                           : Json(nullptr);
  health["probedAt"] = health_.probedAtMilliseconds == 0 ? Json(nullptr) : Json(health_.probedAtMilliseconds);
  health["probeSeconds"] = health_.probedAtMilliseconds == 0 ? Json(nullptr) : Json(health_.probeSeconds);
  out["health"] = health;
  out["drift"] = !health_.hasDesired
                     ? Json(nullptr)
                     : Json{{"source", desiredSource_.empty() ? "api" : "inventory"},
                            {"fields", health_.driftCheckedAtMilliseconds == 0 || !health_.driftError.empty()
                                           ? Json(nullptr)
                                           : Json(health_.driftFields)},
                            {"paths", driftPaths_},
                            {"checkedAt", health_.driftCheckedAtMilliseconds == 0
                                              ? Json(nullptr)
                                              : Json(health_.driftCheckedAtMilliseconds)},
                            {"error", health_.driftError.empty() ? Json(nullptr) : Json(health_.driftError)}};
  if (last_.operation.empty()) {
    out["last"] = nullptr;
  } else {
    out["last"] = {{"operation", last_.operation},
                   {"ok", last_.ok},
                   {"stage", last_.stage},
                   {"message", last_.message},
                   {"at", last_.atMilliseconds}};
  }
  return out;
}

void DeviceEntry::Witness(int32_t stage, const std::string& message, int64_t at) {
  const Evidence evidence = EvidenceOf(stage);
  if (evidence == Evidence::kNone) return;
  const Health::State state = evidence == Evidence::kUp ? Health::State::kUp : Health::State::kDown;
  if (state != health_.state) {
    health_.state = state;
    health_.sinceMilliseconds = at;
  }
  if (stage != VmlCmdStageSuccess) {
    health_.failureStage = vmlctl::StageName(stage);
    health_.failureMessage = message;
    health_.failureAtMilliseconds = at;
  }
}

void DeviceEntry::Record(LastResult result) {
  std::lock_guard<std::mutex> lock(lastMutex_);
  last_ = std::move(result);
  // A call that failed in the engine's own checks (nothing sent) leaves the health as it was.
  Witness(last_.stageCode, last_.message, last_.atMilliseconds);
}

void DeviceEntry::RecordProbe(const VmlCmdOutcome& outcome, const std::string& message, int32_t version,
                              double seconds) {
  const int64_t now = NowMilliseconds();
  std::lock_guard<std::mutex> lock(lastMutex_);
  health_.probedAtMilliseconds = now;
  health_.probeSeconds = seconds;
  if (outcome.stage == VmlCmdStageSuccess) {
    // Both version queries send the same request and read the same number.
    health_.versionsKnown = true;
    health_.bspVersion = version;
    health_.napiVersion = version;
  } else {
    ++health_.probeFailures[vmlctl::StageName(outcome.stage)];
  }
  Witness(outcome.stage, message, now);
}

void DeviceEntry::SetDesired(Json document, std::string source) {
  std::lock_guard<std::mutex> lock(lastMutex_);
  desired_ = std::move(document);
  desiredSource_ = desired_.is_null() ? std::string() : std::move(source);
  health_.hasDesired = !desired_.is_null();
  health_.driftFields = 0;
  health_.driftCheckedAtMilliseconds = 0;
  health_.driftError.clear();
  driftPaths_.clear();
}

Json DeviceEntry::Desired() const {
  std::lock_guard<std::mutex> lock(lastMutex_);
  return desired_;
}

std::string DeviceEntry::DesiredSource() const {
  std::lock_guard<std::mutex> lock(lastMutex_);
  return desiredSource_;
}

void DeviceEntry::RecordDrift(const std::vector<std::string>& paths, const std::string& error) {
  std::lock_guard<std::mutex> lock(lastMutex_);
  if (desired_.is_null()) return;  // removed while it was planned
  health_.driftCheckedAtMilliseconds = NowMilliseconds();
  health_.driftError = error;
  if (error.empty()) {
    health_.driftFields = static_cast<int>(paths.size());
    driftPaths_ = paths;
  }
}

std::vector<std::string> DeviceEntry::DriftPaths() const {
  std::lock_guard<std::mutex> lock(lastMutex_);
  return driftPaths_;
}

Health DeviceEntry::HealthNow() const {
  std::lock_guard<std::mutex> lock(lastMutex_);
  return health_;
}

DevicePool::DevicePool(int concurrentCalls, int queuePerDevice)
    : free_(std::max(1, concurrentCalls)),
      concurrency_(std::max(1, concurrentCalls)),
      queuePerDevice_(std::max(1, queuePerDevice)) {}

CallOutcome DevicePool::Run(DeviceEntry& device, const char* kind,
                            const std::function<void(ICommand&)>& call) {
  return Enter(device, kind, call, false);
}

CallOutcome DevicePool::RunIdle(DeviceEntry& device, const char* kind,
                                const std::function<void(ICommand&)>& call) {
  return Enter(device, kind, call, true);
}

CallOutcome DevicePool::Enter(DeviceEntry& device, const char* kind,
                              const std::function<void(ICommand&)>& call, bool idleOnly) {
  CallOutcome result;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (device.waiting_ >= (idleOnly ? 1 : queuePerDevice_)) return result;
    ++device.waiting_;
  }
  ++waitingAll_;
  {
    // The device first, then a slot: callers queued on one device hold no slot while they wait,
    // so a slow device cannot use up the slots the others need.
    std::lock_guard<std::mutex> deviceLock(device.callMutex_);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      freed_.wait(lock, [&] { return free_ > 0; });
      --free_;
    }
    if (device.command_) {
      const auto start = std::chrono::steady_clock::now();
      call(*device.command_);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      result.outcome.size = sizeof result.outcome;
      VmlCmdGetLastOutcome(device.command_, &result.outcome);
      device.command_->SetVideoPort(device.target_.videoPort);
      result.seconds = took.count();
      if (observer_) observer_(kind, took.count());
    } else {
      result.outcome.stage = VmlCmdStageNoNetworkLink;
    }
    result.ran = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++free_;
    }
    freed_.notify_one();
  }
  --waitingAll_;
  std::lock_guard<std::mutex> lock(mutex_);
  --device.waiting_;
  return result;
}

bool Registry::Add(std::shared_ptr<DeviceEntry> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& existing : devices_) {
    if (existing->Id() == device->Id()) return false;
  }
  devices_.push_back(std::move(device));
  return true;
}

bool Registry::Remove(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it =
      std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->Id() == id; });
  if (it == devices_.end()) return false;
  devices_.erase(it);
  return true;
}

void Registry::Replace(std::shared_ptr<DeviceEntry> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& existing : devices_) {
    if (existing->Id() == device->Id()) existing = device;
  }
}

std::shared_ptr<DeviceEntry> Registry::Find(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& device : devices_) {
    if (device->Id() == id) return device;
  }
  return nullptr;
}

std::vector<std::shared_ptr<DeviceEntry>> Registry::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

std::string Registry::FreeId(const std::string& base) const {
  std::string id = base;
  for (int n = 2; Find(id); ++n) id = base + "~" + std::to_string(n);
  return id;
}

bool ValidId(const std::string& id) {
  if (id.empty() || id.size() > 64) return false;
  for (const char c : id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == ':' || c == '~';
    if (!plain) return false;
  }
  return true;
}

bool ParseDevice(const Json& body, std::string* id, std::string* name, vmlctl::Target* target,
                 std::string* group, std::string* problem) {
  if (!body.is_object()) {
    *problem = "a device is a JSON object";
    return false;
  }
  static const char* const kKnown[] = {"id",       "name",      "host",         "port", "user",
                                       "password", "videoPort", "textEncoding", "group"};
  for (auto it = body.begin(); it != body.end(); ++it) {
    if (std::find_if(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return it.key() == k; }) ==
        std::end(kKnown)) {
      *problem = "unknown field \"" + it.key() + "\"";
      return false;
    }
  }
  auto text = [&](const char* key, std::string* out) {
    if (!body.contains(key)) return true;
    if (!body[key].is_string()) {
      *problem = std::string("\"") + key + "\" must be a string";
      return false;
    }
    *out = body[key].get<std::string>();
    return true;
  };
  vmlctl::Target parsed;
  parsed.textEncoding = target->textEncoding;
  std::string encoding;
  if (!text("textEncoding", &encoding)) return false;
  if (!encoding.empty()) {
    parsed.textEncoding = vmlcmd_text_encoding(encoding.c_str());
    if (parsed.textEncoding < 0) {
      *problem = "\"textEncoding\" must be cp936, utf-8 or cpN";
      return false;
    }
  }
  if (!text("id", id) || !text("name", name) || !text("host", &parsed.host) || !text("user", &parsed.user) ||
      !text("password", &parsed.password))
    return false;
  if (!body.contains("host") || !vmlctl::IsDottedQuad(parsed.host)) {
    *problem = "\"host\" must be a dotted-quad IPv4 address";
    return false;
  }
  if (!body.contains("port") || !body["port"].is_number_integer() || body["port"].get<int64_t>() < 1 ||
      body["port"].get<int64_t>() > 65535) {
    *problem = "\"port\" must be a whole number in 1..65535";
    return false;
  }
  parsed.port = body["port"].get<int32_t>();
  if (body.contains("videoPort")) {
    if (!body["videoPort"].is_number_integer() || body["videoPort"].get<int64_t>() < 0 ||
        body["videoPort"].get<int64_t>() > 9999) {
      *problem = "\"videoPort\" must be a whole number in 0..9999";
      return false;
    }
    parsed.videoPort = body["videoPort"].get<int32_t>();
  }
  if (parsed.user.size() > kUserLimit) {
    *problem = "the user name is longer than " + std::to_string(kUserLimit) + " characters";
    return false;
  }
  if (parsed.password.size() > kPasswordLimit) {
    *problem = "the password is longer than " + std::to_string(kPasswordLimit) + " characters";
    return false;
  }
  // As the inventory refuses them: a hyphen would start another option of the login's text, so
  // every call would fail while the list showed the device as added.
  for (const auto& [what, value] : {std::pair<const char*, const std::string*>{"user name", &parsed.user},
                                    {"password", &parsed.password}}) {
    std::string bytes;
    if (value->find('-') != std::string::npos) {
      *problem = std::string("the ") + what + " holds a hyphen, which the device reads as its next option";
      return false;
    }
    if (!vmlctl::ToDeviceText(parsed.textEncoding, *value, &bytes)) {
      *problem =
          std::string("the ") + what + " holds a character that the device's text encoding cannot carry";
      return false;
    }
  }
  if (!text("group", group)) return false;
  if (!group->empty() && !ValidId(*group)) {
    *problem = "\"group\" may hold only letters, digits and - _ . : ~ (at most 64)";
    return false;
  }
  if (!id->empty() && !ValidId(*id)) {
    *problem = "\"id\" may hold only letters, digits and - _ . : ~ (at most 64)";
    return false;
  }
  if (name->size() > 128) {
    *problem = "\"name\" is longer than 128 bytes";
    return false;
  }
  *target = parsed;
  return true;
}

}  // namespace gateway
