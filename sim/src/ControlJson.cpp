#include "napisim/ControlJson.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace napisim {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct KindName {
  Fault::Kind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {Fault::Kind::kNormal, "normal"}, {Fault::Kind::kNoReply, "no-reply"},
    {Fault::Kind::kClose, "close"},   {Fault::Kind::kTruncate, "truncate"},
    {Fault::Kind::kStatus, "status"}, {Fault::Kind::kRaw, "raw"},
    {Fault::Kind::kText, "text"},     {Fault::Kind::kReset, "reset"},
    {Fault::Kind::kIgnore, "ignore"},
};

constexpr long long kInt32Min = std::numeric_limits<int32_t>::min();
constexpr long long kInt32Max = std::numeric_limits<int32_t>::max();
// Replies are a few hundred bytes; a cut or split beyond a megabyte means nothing.
constexpr long long kLongestCut = 1 << 20;

}  // namespace

long long IntegerField(const nlohmann::json& j, const char* key, long long min, long long max,
                       long long fallback) {
  const auto found = j.find(key);
  if (found == j.end()) return fallback;
  bool inRange = false;
  long long value = 0;
  if (found->is_number_unsigned()) {
    const auto whole = found->get<unsigned long long>();
    inRange = max >= 0 && whole <= static_cast<unsigned long long>(max);
    if (inRange) value = static_cast<long long>(whole);
    inRange = inRange && value >= min;
  } else if (found->is_number_integer()) {
    value = found->get<long long>();
    inRange = value >= min && value <= max;
  }
  if (!inRange) {
    throw std::invalid_argument(std::string(key) + " must be a whole number in " + std::to_string(min) +
                                ".." + std::to_string(max) + ", not " + found->dump());
  }
  return value;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
  return out;
}

std::string FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("napi-sim: odd number of hex digits");
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0)
      throw std::invalid_argument("napi-sim: not a hex digit in \"" + std::string(hex) + "\"");
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return out;
}

void to_json(nlohmann::json& j, const Fault& v) {
  const char* kind = "normal";
  for (const KindName& entry : kKindNames) {
    if (entry.kind == v.kind) kind = entry.name;
  }
  j = {{"kind", kind},
       {"delayMs", v.delay.count()},
       {"truncateTo", v.truncateTo},
       {"status", v.status},
       {"bytes", ToHex(v.bytes)},
       {"text", ToHex(v.text)},
       {"closeAfter", v.closeAfter},
       {"process", v.process},
       {"remaining", v.remaining},
       {"splitAfter", v.splitAfter},
       {"oneByteAtATime", v.oneByteAtATime},
       {"gapMs", v.gap.count()},
       {"trailingNul", v.trailingNul}};
}

// Fields left out keep a default Fault's values, so a hand-written request can be short.
void from_json(const nlohmann::json& j, Fault& v) {
  v = Fault{};
  const std::string kind = j.value("kind", std::string("normal"));
  bool known = false;
  for (const KindName& entry : kKindNames) {
    if (kind == entry.name) {
      v.kind = entry.kind;
      known = true;
    }
  }
  if (!known) throw std::invalid_argument("napi-sim: unknown fault kind \"" + kind + "\"");
  v.delay = std::chrono::milliseconds(IntegerField(j, "delayMs", 0, kLongestFaultDelayMs, 0));
  v.truncateTo = static_cast<std::size_t>(IntegerField(j, "truncateTo", 0, kLongestCut, 0));
  v.status = static_cast<int32_t>(IntegerField(j, "status", kInt32Min, kInt32Max, 0));
  v.bytes = FromHex(j.value("bytes", std::string()));
  v.text = FromHex(j.value("text", std::string()));
  v.closeAfter = j.value("closeAfter", false);
  v.process = j.value("process", true);
  v.remaining = static_cast<int>(IntegerField(j, "remaining", -1, kInt32Max, -1));
  v.splitAfter = static_cast<std::size_t>(IntegerField(j, "splitAfter", 0, kLongestCut, 0));
  v.oneByteAtATime = j.value("oneByteAtATime", false);
  v.gap = std::chrono::milliseconds(IntegerField(j, "gapMs", 0, kLongestFaultDelayMs, 0));
  v.trailingNul = j.value("trailingNul", false);
}

void to_json(nlohmann::json& j, const RecordedRequest& v) {
  j = {{"magic", v.magic},
       {"textLength", v.textLength},
       {"command", v.command},
       {"reserved", v.reserved},
       {"text", ToHex(v.text)},
       {"raw", ToHex(std::string_view(reinterpret_cast<const char*>(v.raw.data()), v.raw.size()))},
       {"connection", v.connection},
       {"badHeader", v.badHeader}};
}

void from_json(const nlohmann::json& j, RecordedRequest& v) {
  j.at("magic").get_to(v.magic);
  j.at("textLength").get_to(v.textLength);
  j.at("command").get_to(v.command);
  j.at("reserved").get_to(v.reserved);
  v.text = FromHex(j.at("text").get<std::string>());
  const std::string raw = FromHex(j.at("raw").get<std::string>());
  v.raw.assign(raw.begin(), raw.end());
  j.at("connection").get_to(v.connection);
  j.at("badHeader").get_to(v.badHeader);
}

void to_json(nlohmann::json& j, const ConnectionStats& v) {
  j = {{"accepted", v.accepted},
       {"open", v.open},
       {"closedByPeer", v.closedByPeer},
       {"closedByDevice", v.closedByDevice},
       {"closedIdle", v.closedIdle}};
}

void from_json(const nlohmann::json& j, ConnectionStats& v) {
  j.at("accepted").get_to(v.accepted);
  j.at("open").get_to(v.open);
  j.at("closedByPeer").get_to(v.closedByPeer);
  j.at("closedByDevice").get_to(v.closedByDevice);
  v.closedIdle = j.value("closedIdle", std::size_t{0});
}

void to_json(nlohmann::json& j, const RequestLogStats& v) {
  j = {{"bound", v.bound}, {"kept", v.kept}, {"recorded", v.recorded}, {"dropped", v.dropped}};
}

void from_json(const nlohmann::json& j, RequestLogStats& v) {
  j.at("bound").get_to(v.bound);
  j.at("kept").get_to(v.kept);
  j.at("recorded").get_to(v.recorded);
  j.at("dropped").get_to(v.dropped);
}

}  // namespace napisim
