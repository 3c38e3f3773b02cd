#include "napi/Session.h"

#include <algorithm>
#include <cstring>

#include "core/ResultCode.h"

namespace vml::napi {

void Session::Begin() {
  outcome_ = Outcome{};
  missing_ = 0;
  start_ = Clock::now();
}

void Session::SetCode(std::int32_t code) {
  SetLastErrorCode(code);
  outcome_.codeSet = static_cast<std::int8_t>(code);
}

void Session::Finish(std::int32_t stage, std::int32_t status) {
  outcome_.stage = static_cast<std::int8_t>(stage);
  outcome_.status = status;
  outcome_.resultCode = outcome_.codeSet >= 0 ? outcome_.codeSet : LastErrorCode();
  if (stage == VmlCmdStageValueMissing) outcome_.letter = missing_;
  auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
  outcome_.elapsedMicroseconds = elapsed < 0 ? 0u : static_cast<std::uint32_t>(elapsed);
}

bool Session::FailFromChannel() {
  std::int32_t stage = VmlCmdStageReceiveFailed;
  switch (channel.LastFailure()) {
    case ChannelFailure::kAddressInvalid:
      stage = VmlCmdStageAddressInvalid;
      break;
    case ChannelFailure::kConnectRefused:
      stage = VmlCmdStageConnectRefused;
      break;
    case ChannelFailure::kConnectTimedOut:
      stage = VmlCmdStageConnectTimedOut;
      break;
    case ChannelFailure::kConnectFailed:
      stage = VmlCmdStageConnectFailed;
      break;
    case ChannelFailure::kSendFailed:
      stage = VmlCmdStageSendFailed;
      break;
    case ChannelFailure::kTimedOut:
      stage = VmlCmdStageReplyTimedOut;
      break;
    case ChannelFailure::kClosed:
      stage = VmlCmdStageClosedByDevice;
      break;
    case ChannelFailure::kNone:
    case ChannelFailure::kReceiveFailed:
      break;
  }
  outcome_.systemError = channel.LastSystemError();
  Finish(stage);
  return false;
}

bool Session::Login() {
  if (std::strlen(target.userName) > kUserNameLimit || std::strlen(target.password) > kPasswordLimit) {
    Finish(VmlCmdStageArgumentRefused);
    return false;
  }
  channel.Close();
  owed_.Clear();
  moreMayWait_ = false;
  if (!channel.Connect(target.ipAddress, target.port)) return FailFromChannel();
  // The login has its own small buffer: the operation's request is already prepared.
  Request login;
  if (!login.Join(kLoginCommand, {"-u ", target.userName, " -p ", target.password})) {
    Finish(VmlCmdStageArgumentRefused);
    return false;
  }
  outcome_.exchange = VmlCmdExchangeLogin;
  if (!channel.Send(login.Data(), login.Size())) return FailFromChannel();
  if (!ReceiveReply()) return FailFromChannel();
  const std::int32_t status = Reply().Status();
  if (status == 0) return true;
  Finish(ExplainFailure(VmlCmdStageLoginRefused), status);
  return false;
}

bool Session::EnsureLogin(bool networkLink) {
  // Every device operation logs in first: its record starts here.
  Begin();
  if (!networkLink) {
    Finish(VmlCmdStageNoNetworkLink);
    return false;
  }
  return Login();
}

void OwedBytes::Owe(std::int64_t declaredText, std::int64_t textTaken) {
  text_ = declaredText <= 0 || declaredText > kMostOwedText || textTaken >= declaredText
              ? 0u
              : static_cast<std::uint32_t>(declaredText - std::max<std::int64_t>(textTaken, 0));
}

void OwedBytes::After(const std::uint8_t* reply, std::size_t received, std::int64_t consumed) {
  Clear();
  // No byte at all is no reply: the connection ends with the operation's failure.
  if (received == 0) return;
  if (received < kReplyHeaderSize) {
    // A short reply may be a late device's first bytes or all that a device meant to send, and
    // only the first field can tell them apart: a device that writes 100 there starts its next
    // reply with 100, never the rest of a header. Of a device that writes anything else, a short
    // reply is all it meant to send, so its next reply is read whole.
    for (std::size_t i = 0; i < 4 && i < received; ++i) {
      if (reply[i] != static_cast<std::uint8_t>((kRequestMagic >> (8 * i)) & 0xFF)) return;
    }
    header_ = static_cast<std::uint8_t>(kReplyHeaderSize - received);
    for (std::size_t i = 0; i < sizeof lengthField_ && 4 + i < received; ++i) lengthField_[i] = reply[4 + i];
    return;
  }
  Owe(GetInt32(reply + 4), consumed - static_cast<std::int64_t>(kReplyHeaderSize));
}

void OwedBytes::Take(const std::uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i < count && header_ > 0; ++i) {
    const std::size_t at = kReplyHeaderSize - header_;
    if (at >= 4 && at < 8) lengthField_[at - 4] = bytes[i];
    if (--header_ == 0) Owe(GetInt32(lengthField_), 0);
  }
  const std::size_t text = count - i;
  text_ = text >= text_ ? 0u : text_ - static_cast<std::uint32_t>(text);
}

void Session::DropLeftovers() {
  std::uint8_t scrap[1024];
  const bool owing = owed_.Next() != 0;
  while (std::size_t owed = owed_.Next()) {
    int got = channel.ReceiveWaiting(scrap, static_cast<int>(std::min(owed, sizeof scrap)));
    // The rest is still on its way: it is skipped within the next reply's second.
    if (got <= 0) return;
    owed_.Take(scrap, static_cast<std::size_t>(got));
  }
  // Bytes still waiting that no header declared (a NUL some devices send after their text) must
  // not be read as the start of the next reply either. A reply whose last receive took less than
  // it asked for emptied what had arrived, undeclared bytes that came with it included: asking
  // again, a call on every exchange, would only hear that nothing is left.
  if (owing || moreMayWait_) channel.DiscardWaiting();
  moreMayWait_ = false;
}

bool Session::ReceiveReply() {
  // Cleared first, so a short reply reads its missing bytes as zero and never as stale ones.
  std::memset(reply_, 0, sizeof reply_);
  received_ = 0;
  // One deadline for the whole reply, however many pieces it comes in.
  const Clock::time_point deadline = Clock::now() + TcpChannel::kIoTimeout;
  std::uint8_t scrap[1024];
  std::size_t received = 0;
  // The late rest of the previous reply comes first on the stream; it is read exactly, never a
  // byte further, so the reply that follows it is read whole. A device whose short header was
  // all it meant to send (a bare acknowledgement) sends no rest: what comes then starts with a
  // reply's first field, and it is that reply.
  bool first = true;
  while (std::size_t owed = owed_.Next()) {
    int got = channel.ReceiveBefore(scrap, static_cast<int>(std::min(owed, sizeof scrap)), deadline);
    if (got <= 0) return false;
    if (first && owed_.OwesHeader() && got >= 4 && GetInt32(scrap) == kRequestMagic) {
      std::memcpy(reply_, scrap, static_cast<std::size_t>(got));
      received = static_cast<std::size_t>(got);
      owed_.Clear();
      break;
    }
    first = false;
    owed_.Take(scrap, static_cast<std::size_t>(got));
  }
  std::size_t wanted = kReplyHeaderSize;
  std::int64_t declared = 0;  // header and text as the header announces them
  bool headerRead = false;
  bool filled = false;  // the last receive took all it asked for
  while (received < wanted) {
    // Takes whatever has come, up to the buffer's limit: header and text usually come in one
    // segment, and bytes beyond what the header declares were always read with the reply.
    const int room = static_cast<int>(kReplyReceiveLimit - received);
    int got = channel.ReceiveBefore(reply_ + received, room, deadline);
    // A device that closes, or stays silent to the end of the second, has sent what arrived:
    // that is the reply, and bytes of it that never came read as zero.
    if (got <= 0) break;
    filled = got == room;
    received += static_cast<std::size_t>(got);
    if (!headerRead && received >= kReplyHeaderSize) {
      headerRead = true;
      declared =
          static_cast<std::int64_t>(kReplyHeaderSize) + std::max<std::int32_t>(GetInt32(reply_ + 4), 0);
      wanted = static_cast<std::size_t>(std::min<std::int64_t>(declared, kReplyReceiveLimit));
    }
  }
  std::int64_t consumed = static_cast<std::int64_t>(received);
  if (headerRead && received >= wanted) {
    // Text that the header announces but the buffer cannot hold is read and dropped within the
    // same second, so it is never taken for the next reply.
    while (declared > consumed) {
      const int room = static_cast<int>(std::min<std::int64_t>(declared - consumed, sizeof scrap));
      int got = channel.ReceiveBefore(scrap, room, deadline);
      if (got <= 0) break;
      consumed += got;
      filled = got == room;
    }
  }
  moreMayWait_ = filled;
  owed_.After(reply_, received, consumed);
  received_ = static_cast<std::uint16_t>(received);
  return received > 0;
}

bool Session::Exchange(StatusRule statusRule) {
  outcome_.exchange =
      outcome_.exchange == VmlCmdExchangeRequest ? VmlCmdExchangeSecond : VmlCmdExchangeRequest;
  DropLeftovers();
  if (!channel.Send(request.Data(), request.Size()) || !ReceiveReply()) {
    FailFromChannel();
    channel.Close();
    return false;
  }
  const std::int32_t status = Reply().Status();
  if (status == 0) return true;
  // The result code follows the status whoever sent it; only the stage tells the peer apart.
  if (statusRule == StatusRule::Map) SetCode(CodeForStatus(status));
  channel.Close();
  Finish(ExplainFailure(VmlCmdStageReplyStatus), status);
  return false;
}

bool Session::LooksLikeNapiReply() const {
  // Devices are free to send anything in the first field; 100 is only what most of them send.
  // A reply of another first field is still a NAPI reply when its header holds: the text it
  // declares is one a reply can have. A banner or another protocol's bytes declare a length of
  // gigabytes, or a negative one. A reply too short to declare anything is read as the protocol
  // says, so it is taken for one too.
  if (Reply().Magic() == kRequestMagic || received_ < kReplyHeaderSize) return true;
  const std::int32_t declared = Reply().TextLength();
  return declared >= 0 && declared <= OwedBytes::kMostOwedText;
}

std::int32_t Session::ExplainFailure(std::int32_t stage) {
  // Only ever a better reason for a failure that happens anyway: a wrong port reaches a service
  // that sends a banner or speaks another protocol, and its bytes would read as some status, so
  // a wrong port would look like a wrong password.
  if (LooksLikeNapiReply()) return stage;
  outcome_.replyMagic = Reply().Magic();
  return VmlCmdStageNotNapiDevice;
}

bool Session::SendOnly() {
  outcome_.exchange = VmlCmdExchangeRequest;
  DropLeftovers();
  bool sent = channel.Send(request.Data(), request.Size());
  if (!sent) FailFromChannel();
  channel.Close();
  return sent;
}

bool Session::Read(ReplyReader read) {
  if (!read || read(Reply())) return true;
  channel.Close();
  Finish(ExplainFailure(VmlCmdStageValueMissing));
  return false;
}

bool Session::Succeed(SuccessRule successRule) {
  channel.Close();
  if (successRule == SuccessRule::Sets9) SetCode(kSuccess);
  Finish(VmlCmdStageSuccess);
  return true;
}

bool Session::Transact(bool networkLink, SuccessRule successRule, ReplyReader read) {
  if (!EnsureLogin(networkLink)) return false;
  if (!Exchange(StatusRule::Map)) return false;
  if (!Read(read)) return false;
  return Succeed(successRule);
}

}  // namespace vml::napi
