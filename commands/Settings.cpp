// Device-wide settings: the serial line and PTZ heads on it, the clock, the account, a port
// setting, two bare commands and the version queries.
#include "commands/CommandSupport.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"

namespace vml {
using namespace commands;

namespace {
constexpr std::int32_t kVersion = 1;
constexpr std::int32_t kClock = 3;
constexpr std::int32_t kSetSerial = 6;
constexpr std::int32_t kReadSerial = 7;
constexpr std::int32_t kCommand8 = 8;
constexpr std::int32_t kCommand9 = 9;
constexpr std::int32_t kAccount = 41;
constexpr std::int32_t kPtzProtocol = 61;
constexpr std::int32_t kPtzParameters = 62;
constexpr std::int32_t kPortSetting = 70;
}  // namespace

// The head index comes second in the arguments but first in the text.
bool NapiCommand::SetPtzProtocol(int32_t protocol, int32_t ptzIndex) {
  return Prepare(kPtzProtocol, TextRule::Plain, "-n %d -p %d", ptzIndex, protocol) &&
         Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetPtzAddress(int32_t address, int32_t ptzIndex) {
  return Prepare(kPtzParameters, TextRule::Plain, "-p %d -a %d", ptzIndex, address) &&
         Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetPtzParameters(int32_t rValue, int32_t sValue) {
  return Prepare(kPtzParameters, TextRule::Plain, "-p %d -r %d -s %d", videoPort_, rValue, sValue) &&
         Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetSerialBaudRate(int32_t baudRate) {
  return Prepare(kSetSerial, TextRule::Plain, "-p 1 -b %d", baudRate) && Transact(SuccessRule::Sets9);
}

int32_t NapiCommand::GetSerialBaudRate() { return QueryPortOneValue(kReadSerial); }

// Both version numbers come from the same reply reading; devices answer command 1 with the
// port-1 form that the serial query uses.
int32_t NapiCommand::QueryBspVersion() { return QueryPortOneValue(kVersion); }
int32_t NapiCommand::QueryNapiVersion() { return QueryPortOneValue(kVersion); }

int32_t NapiCommand::QueryPortOneValue(int32_t command) {
  int32_t value = 0;
  bool ok = Prepare(command, TextRule::Plain, "-p 1") &&
            Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
              auto found = napi::ReadPortOneValue(reply.Text());
              if (!found && reply.missing != nullptr) *reply.missing = 'p';
              if (found) value = *found;
              return found.has_value();
            });
  return ok ? value : 0;
}

// Date and time travel as concatenated numbers with no separators or leading zeros: devices
// expect exactly that form.
bool NapiCommand::SetDeviceTime(int32_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                                uint8_t second) {
  return Prepare(kClock, TextRule::Plain, "-d %d%u%u -t %u%u%u", year, unsigned{month}, unsigned{day},
                 unsigned{hour}, unsigned{minute}, unsigned{second}) &&
         Transact(SuccessRule::Sets9);
}

// Devices never answer command 8: success is a request that could be sent.
bool NapiCommand::SendCommand8() {
  PrepareHeaderOnly(kCommand8);
  if (!session_.EnsureLogin(NetworkLink()) || !session_.SendOnly()) return false;
  return session_.Succeed(napi::SuccessRule::Sets9);
}

bool NapiCommand::SendCommand9() {
  PrepareHeaderOnly(kCommand9);
  return Transact(SuccessRule::KeepCode);
}

// Changes only the device's account; this object keeps logging in with its own.
bool NapiCommand::SetAccount(const char* userName, const char* password) {
  if (!Carriable(userName, password)) return RefuseArguments();
  return Prepare(kAccount, TextRule::Plain, "-u %s -p %s", userName, password) &&
         Transact(SuccessRule::KeepCode);
}

bool NapiCommand::SetPortSetting(int32_t port, uint8_t value) {
  return Prepare(kPortSetting, TextRule::Plain, "-p %d -b %u", port, unsigned{value}) &&
         Transact(SuccessRule::Sets9);
}

}  // namespace vml
