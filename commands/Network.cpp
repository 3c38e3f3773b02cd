// The device's own network identity: IP address, subnet mask and gateway. Writes use command
// 4, reads command 5, whose reply carries the address twice: as 'i' (read by GetIpAddress) and
// as 'a' (read by the configuration dialog's query).
#include "commands/CommandSupport.h"
#include "core/NapiCommand.h"

namespace vml {
using namespace commands;

namespace {
constexpr std::int32_t kWriteNetwork = 4;
constexpr std::int32_t kReadNetwork = 5;
}  // namespace

bool NapiCommand::SetNetworkConfig(const char* ipAddress, const char* subnetMask, const char* gateway) {
  if (!Carriable(ipAddress, subnetMask, gateway)) return RefuseArguments();
  return Prepare(kWriteNetwork, TextRule::Plain, "-a %s -m %s -g %s", ipAddress, subnetMask, gateway) &&
         Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetIpAddress(const char* ipAddress) {
  if (!Carriable(ipAddress)) return RefuseArguments();
  return Prepare(kWriteNetwork, TextRule::CountedNul, "-a %s", ipAddress) && Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetSubnetMask(const char* subnetMask) {
  if (!Carriable(subnetMask)) return RefuseArguments();
  return Prepare(kWriteNetwork, TextRule::Plain, "-m %s", subnetMask) && Transact(SuccessRule::Sets9);
}

bool NapiCommand::SetGateway(const char* gateway) {
  if (!Carriable(gateway)) return RefuseArguments();
  return Prepare(kWriteNetwork, TextRule::Plain, "-g %s", gateway) && Transact(SuccessRule::Sets9);
}

bool NapiCommand::GetIpAddress(char* ipAddress) { return ReadAddress('i', ipAddress); }
bool NapiCommand::GetSubnetMask(char* subnetMask) { return ReadAddress('m', subnetMask); }
bool NapiCommand::GetGateway(char* gateway) { return ReadAddress('g', gateway); }

bool NapiCommand::ReadAddress(char letter, char* output) {
  if (output == nullptr) return RefuseArguments();
  PrepareHeaderOnly(kReadNetwork);
  // A reply without the letter still succeeds and leaves the caller's buffer as it was.
  return Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
    if (auto value = napi::TokenText(reply.AnnouncedText(), letter)) {
      napi::CopyValue(*value, output, VMLCMD_ADDRESS_BUFFER_SIZE);
    }
    return true;
  });
}

bool NapiCommand::QueryNetworkConfig(char* ipAddress, char* subnetMask, char* gateway) {
  if (!AllGiven(ipAddress, subnetMask, gateway)) return RefuseArguments();
  PrepareHeaderOnly(kReadNetwork);
  return Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
    napi::ForEachToken(reply.AnnouncedText(), [&](std::string_view token) {
      char* output = token[0] == 'a'   ? ipAddress
                     : token[0] == 'm' ? subnetMask
                     : token[0] == 'g' ? gateway
                                       : nullptr;
      if (output != nullptr) napi::CopyValue(napi::TokenValue(token), output, VMLCMD_ADDRESS_BUFFER_SIZE);
    });
    return true;
  });
}

}  // namespace vml
