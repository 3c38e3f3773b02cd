#include "napi/Session.h"

#include <cstring>

#include "core/ResultCode.h"

namespace vml::napi {

bool Session::Login() {
  if (std::strlen(target.userName) > kUserNameLimit || std::strlen(target.password) > kPasswordLimit)
    return false;
  channel.Close();
  if (!channel.Connect(target.ipAddress, target.port)) return false;
  // The login has its own small buffer: the operation's request is already prepared.
  Request login;
  if (!login.Format(kLoginCommand, TextRule::Plain, "-u %s -p %s", target.userName, target.password))
    return false;
  if (!channel.Send(login.Data(), login.Size())) return false;
  if (!ReceiveReply()) return false;
  return Reply().Status() == 0;
}

bool Session::EnsureLogin(bool networkLink) { return networkLink && Login(); }

bool Session::ReceiveReply() {
  // Cleared first, so a short reply reads its missing bytes as zero and never as stale ones.
  std::memset(reply_, 0, sizeof reply_);
  received_ = 0;
  int got = channel.Receive(reply_, static_cast<int>(kReplyReceiveLimit));
  if (got < 1) return false;
  received_ = static_cast<std::size_t>(got);
  return true;
}

bool Session::Exchange(StatusRule statusRule) {
  if (!channel.Send(request.Data(), request.Size()) || !ReceiveReply()) {
    channel.Close();
    return false;
  }
  std::int32_t status = Reply().Status();
  if (status != 0) {
    if (statusRule == StatusRule::Map) SetLastErrorCode(CodeForStatus(status));
    channel.Close();
    return false;
  }
  return true;
}

bool Session::SendOnly() {
  bool sent = channel.Send(request.Data(), request.Size());
  channel.Close();
  return sent;
}

bool Session::Transact(bool networkLink, SuccessRule successRule, ReplyReader read) {
  if (!EnsureLogin(networkLink)) return false;
  if (!Exchange(StatusRule::Map)) return false;
  bool readOk = !read || read(Reply());
  channel.Close();
  if (!readOk) return false;
  if (successRule == SuccessRule::Sets9) SetLastErrorCode(kSuccess);
  return true;
}

}  // namespace vml::napi
