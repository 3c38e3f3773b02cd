// The NAPI side of one command object: where the device is, the one connection, and the fixed
// request and reply buffers. Every device operation runs through Transact (or, for the few
// that need more than one exchange, through the same Login/Exchange steps).
#pragma once

#include <cstddef>
#include <cstdint>

#include "napi/FunctionRef.h"
#include "napi/Message.h"
#include "napi/TcpChannel.h"

namespace vml::napi {

inline constexpr std::int32_t kLoginCommand = 45;
inline constexpr std::size_t kUserNameLimit = 16;
inline constexpr std::size_t kPasswordLimit = 8;

// What a successful transaction does with the result code.
enum class SuccessRule {
  Sets9,     // sets it to "success"
  KeepCode,  // leaves whatever an earlier operation left there
};

// What a non-zero reply status does with the result code.
enum class StatusRule { Map, Ignore };

// Reads an operation's values out of a reply with status 0; false when a value is missing.
using ReplyReader = FunctionRef<bool(const ReplyView&)>;

struct Target {
  char userName[50] = {};
  char password[50] = {};
  char ipAddress[152] = {};
  std::int32_t port = 0;
};

class Session {
 public:
  Target target;
  TcpChannel channel;
  Request request;

  // Opens a fresh connection and logs in with the target's account. Never touches the result
  // code. A connection whose login was refused stays open until the next login or close.
  bool Login();
  // Login, but only when the network link is chosen; nothing is touched otherwise.
  bool EnsureLogin(bool networkLink);

  // Sends `request` and receives one reply into the cleared reply buffer. On a failed send, no
  // reply byte, or a non-zero status the channel is closed and false returned; a non-zero
  // status sets the result code when statusRule is Map.
  bool Exchange(StatusRule statusRule);
  // Sends `request` and expects no reply.
  bool SendOnly();

  // One whole transaction for the request already prepared: login, exchange, reading, close.
  bool Transact(bool networkLink, SuccessRule successRule, ReplyReader read = {});

  ReplyView Reply() const { return {reply_, received_}; }
  void Close() { channel.Close(); }

 private:
  bool ReceiveReply();

  std::uint8_t reply_[kReplyBufferSize] = {};
  std::size_t received_ = 0;
};

}  // namespace vml::napi
