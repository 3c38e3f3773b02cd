// The NAPI side of one command object: where the device is, the one connection, and the fixed
// request and reply buffers. Every device operation runs through Transact (or, for the few
// that need more than one exchange, through the same Login/Exchange steps), and each records
// how it ended in the session's outcome.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VmlCmd/ICommand.h"
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

// How the last operation ended: the fields of VmlCmdOutcome that the session knows.
// Kept small: the object has to stay under 1 KiB on every platform.
struct Outcome {
  std::int8_t stage = VmlCmdStageNone;
  std::int8_t exchange = VmlCmdExchangeNone;
  char letter = 0;
  // The code this operation set (they are all below 100), or -1 when it kept the module's.
  std::int8_t codeSet = -1;
  std::int32_t resultCode = 0;
  std::int32_t status = 0;
  std::int32_t systemError = 0;
  std::uint32_t elapsedMicroseconds = 0;
  std::int32_t replyMagic = 0;  // for NotNapiDevice: the first field the peer sent
};

// What a reply cut short by its deadline still owes the stream: the rest of its 20-byte header,
// and then the text that header declares. A device that is late, not silent, sends those bytes
// after all; they are skipped, never read as the start of the next reply on the connection.
class OwedBytes {
 public:
  // A text declared longer than this is a broken header, not a promise: nothing of it is owed.
  static constexpr std::int64_t kMostOwedText = 64 * 1024;

  void Clear() { *this = OwedBytes{}; }
  // The reply ended with `received` bytes in `reply`, of a stream position `consumed` bytes in
  // (more than received when text beyond the buffer was read and dropped).
  void After(const std::uint8_t* reply, std::size_t received, std::int64_t consumed);
  // How many bytes to read next, all of them owed: the header first, then its text.
  std::size_t Next() const { return header_ > 0 ? header_ : text_; }
  bool OwesHeader() const { return header_ > 0; }
  // Counts off bytes read, at most Next() of them.
  void Take(const std::uint8_t* bytes, std::size_t count);

 private:
  void Owe(std::int64_t declaredText, std::int64_t textTaken);

  std::uint32_t text_ = 0;
  std::uint8_t header_ = 0;           // header bytes still to come
  std::uint8_t lengthField_[4] = {};  // the header's textLength, as far as it has come
};

class Session {
 public:
  Target target;
  TcpChannel channel;
  Request request;

  // Starts the record of a new operation (and its clock).
  void Begin();
  // Ends the record: the stage, and the result code as the operation leaves it.
  void Finish(std::int32_t stage, std::int32_t status = 0);
  // Sets the module-wide result code and records it as this operation's own, so that the
  // record stays right when another thread's object changes the module's code meanwhile.
  void SetCode(std::int32_t code);
  const Outcome& LastOutcome() const { return outcome_; }

  // Opens a fresh connection and logs in with the target's account. Never touches the result
  // code. A connection whose login was refused stays open until the next login or close.
  bool Login();
  // Login, but only when the network link is chosen; nothing is touched otherwise. Starts the
  // operation's record.
  bool EnsureLogin(bool networkLink);

  // Sends `request` and receives one reply into the cleared reply buffer. On a failed send, no
  // reply byte, or a non-zero status the channel is closed and false returned; a non-zero
  // status sets the result code when statusRule is Map.
  bool Exchange(StatusRule statusRule);
  // Sends `request` and expects no reply.
  bool SendOnly();
  // Reads the operation's values; on a missing value closes the channel and records why.
  bool Read(ReplyReader read);

  // One whole transaction for the request already prepared: login, exchange, reading, close.
  bool Transact(bool networkLink, SuccessRule successRule, ReplyReader read = {});
  // Closes the channel and records success, setting the result code under Sets9.
  bool Succeed(SuccessRule successRule);

  ReplyView Reply() { return {reply_, received_, &missing_}; }
  ReplyView Reply() const { return {reply_, received_, nullptr}; }
  void Close() { channel.Close(); }

 private:
  // Receives one whole reply: what the previous reply still owes, skipped; then its 20-byte
  // header and the text its length declares, as far as the buffer holds; all within one second
  // from the start.
  bool ReceiveReply();
  // Drops, without waiting, what an earlier reply owes and then any byte no reply declared that
  // may be waiting.
  void DropLeftovers();
  // Records the channel's last failure as the operation's end.
  bool FailFromChannel();
  // Whether the last reply reads as a NAPI reply: its first field as most devices write it, or
  // a header whose declared text length is one a reply can have.
  bool LooksLikeNapiReply() const;
  // The stage of a failure that the reply caused (a refused login, a refused request, a value
  // missing): the given one, or NotNapiDevice, with the first field kept, for a peer whose reply
  // does not read as NAPI. It never turns a success into a failure.
  std::int32_t ExplainFailure(std::int32_t stage);

  std::uint8_t reply_[kReplyBufferSize] = {};
  std::uint16_t received_ = 0;
  char missing_ = 0;
  // The last reply's last receive filled what it asked for, so more bytes may wait behind it.
  bool moreMayWait_ = false;
  OwedBytes owed_;
  Outcome outcome_;
  Clock::time_point start_{};
};

}  // namespace vml::napi
