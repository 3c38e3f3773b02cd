#include "Reason.h"

#include <array>
#include <cstdio>

#include "Socket.h"
#include "inventory/Inventory.h"

namespace vmlctl {

namespace {

std::string SystemText(int32_t error) {
  if (error == 0) return std::string();
  return net::ErrorText(error) + " (error " + std::to_string(error) + ")";
}

std::string WithSystem(std::string what, int32_t error) {
  const std::string system = SystemText(error);
  return system.empty() ? what : what + ": " + system;
}

std::string StatusText(int32_t status) {
  const int32_t code = CodeForStatus(status);
  return "status " + std::to_string(status) + " (" + TextForCode(code) + ")";
}

}  // namespace

const char* StageName(int32_t stage) {
  static const std::array<const char*, VmlCmdStageCount> kNames = {
      "none",
      "success",
      "no-network-link",
      "argument-refused",
      "address-invalid",
      "connect-refused",
      "connect-timed-out",
      "connect-failed",
      "login-refused",
      "send-failed",
      "reply-timed-out",
      "closed-by-device",
      "receive-failed",
      "reply-status",
      "value-missing",
      "not-implemented",
      "not-napi-device",
  };
  if (stage < 0 || stage >= VmlCmdStageCount) return "unknown";
  return kNames[static_cast<std::size_t>(stage)];
}

const char* ExchangeName(int32_t exchange) {
  switch (exchange) {
    case VmlCmdExchangeLogin:
      return "login";
    case VmlCmdExchangeRequest:
      return "request";
    case VmlCmdExchangeSecond:
      return "second";
    default:
      return "none";
  }
}

int32_t CodeForStatus(int32_t status) {
  switch (status) {
    case 0:
      return kSuccess;
    case 1:
      return 18;
    case 3:
      return 15;
    case 5:
      return 14;
    case 6:
      return 11;
    case 7:
      return 12;
    case 8:
      return 13;
    case 9:
      return 17;
    default:
      return 16;
  }
}

std::string Describe(const VmlCmdOutcome& outcome, const Target& target) {
  const std::string where = target.host + ":" + std::to_string(target.port);
  // The login and the second request of the combined video operations are named; the request
  // is what a user asked for, so it needs no name.
  std::string of;
  if (outcome.exchange == VmlCmdExchangeLogin) of = " to the login";
  if (outcome.exchange == VmlCmdExchangeSecond) of = " to the second request";
  switch (outcome.stage) {
    case VmlCmdStageNone:
      return "the library recorded no outcome";
    case VmlCmdStageSuccess:
      return "ok";
    case VmlCmdStageNoNetworkLink:
      return "no network target set";
    case VmlCmdStageArgumentRefused:
      if (target.user.size() > 16) return "the user name is longer than 16 characters; nothing was sent";
      if (target.password.size() > 8) return "the password is longer than 8 characters; nothing was sent";
      return "the library refused an argument before sending anything";
    case VmlCmdStageAddressInvalid:
      return "\"" + target.host + "\" is not a dotted-quad IPv4 address (the library takes no host names)";
    case VmlCmdStageConnectRefused:
      return "connection refused by " + where;
    case VmlCmdStageConnectTimedOut:
      return "no connection to " + where + " within 100 ms";
    case VmlCmdStageConnectFailed:
      return WithSystem("connection to " + where + " failed", outcome.systemError);
    case VmlCmdStageLoginRefused:
      return "login refused: " + StatusText(outcome.status);
    case VmlCmdStageSendFailed:
      return WithSystem(outcome.exchange == VmlCmdExchangeLogin ? "the login could not be sent"
                                                                : "the request could not be sent",
                        outcome.systemError);
    case VmlCmdStageReplyTimedOut:
      return "no reply" + of + " within 1 s";
    case VmlCmdStageClosedByDevice:
      return "the device closed the connection without a reply" + of;
    case VmlCmdStageReceiveFailed:
      return WithSystem("the reply" + of + " could not be received", outcome.systemError);
    case VmlCmdStageReplyStatus:
      return std::string(outcome.exchange == VmlCmdExchangeSecond ? "device refused the second request: "
                                                                  : "device refused the request: ") +
             StatusText(outcome.status);
    case VmlCmdStageValueMissing:
      return std::string("the reply has no value for ") + (outcome.letter != 0 ? outcome.letter : '?');
    case VmlCmdStageNotImplemented:
      return "the library does not implement this operation";
    case VmlCmdStageNotNapiDevice:
      return "the peer at " + where + " does not speak NAPI (reply magic " +
             std::to_string(outcome.replyMagic) + ")";
    default:
      return "stage " + std::to_string(outcome.stage);
  }
}

nlohmann::ordered_json OutcomeJson(const VmlCmdOutcome& outcome) {
  nlohmann::ordered_json json;
  json["stage"] = StageName(outcome.stage);
  json["status"] = outcome.status;
  json["exchange"] = ExchangeName(outcome.exchange);
  json["system_error"] = outcome.systemError;
  json["elapsed_us"] = outcome.elapsedMicroseconds;
  if (outcome.stage == VmlCmdStageValueMissing && outcome.letter != 0)
    json["letter"] = std::string(1, outcome.letter);
  if (outcome.stage == VmlCmdStageNotNapiDevice) json["reply_magic"] = outcome.replyMagic;
  json["result_code"] = outcome.resultCode;
  return json;
}

std::string FormatElapsed(uint64_t microseconds) {
  std::array<char, 32> text{};
  if (microseconds < 1000000) {
    std::snprintf(text.data(), text.size(), "%.2f ms", static_cast<double>(microseconds) / 1000.0);
  } else {
    std::snprintf(text.data(), text.size(), "%.2f s", static_cast<double>(microseconds) / 1e6);
  }
  return text.data();
}

bool IsDottedQuad(const std::string& text) { return vml::inventory::IsDottedQuad(text); }

}  // namespace vmlctl
