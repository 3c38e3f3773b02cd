// The simulated device's plain types: status codes, options, recorded requests, connection
// counts and faults. They carry no server, so a test program on another system (the Windows
// build under Wine) can use them to drive a simulator through its control channel.
#ifndef NAPISIM_TYPES_H
#define NAPISIM_TYPES_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "napisim/DeviceState.h"

namespace napisim {

// Reply status codes of the device.
enum Status : int32_t {
  kSuccess = 0,
  kVersionConflict = 1,
  kInvalidArgument = 3,
  kWrongVideoPort = 5,
  kUnknownUser = 6,
  kWrongPassword = 7,
  kInvalidTicket = 8,
  kUnknownCommand = 9,
};

constexpr int32_t kMagic = 100;
constexpr int32_t kLoginCommand = 45;
constexpr int32_t kMaxTextLength = 256;
constexpr std::size_t kRequestHeaderSize = 16;
constexpr std::size_t kReplyHeaderSize = 20;

// What the device writes in the reply fields that the protocol leaves free (offsets 0, 8 and 12):
// 100, the command code and 0 as most devices do; zeros; or values drawn anew for each reply
// (never one whose first byte reads as 100's, so that no prefix of a reply passes for the usual).
enum class ReplyFields { kUsual, kZero, kDrawn };
// "usual", "zero", "drawn"; false for any other name.
bool ParseReplyFields(const std::string& name, ReplyFields* fields);
const char* ReplyFieldsName(ReplyFields fields);
// NAPISIM_REPLY_FIELDS from the environment when it names one, so that a whole test run can be
// made against devices that do not write the usual values; kUsual otherwise.
ReplyFields DefaultReplyFields();

struct Options {
  // Only IPv4 loopback addresses are accepted; Start() throws for any other.
  std::string address = "127.0.0.1";
  uint16_t port = 0;  // 0: let the system choose, see Port()
  std::vector<Account> accounts = {{"admin", "admin"}};
  int videoPorts = 4;
  bool log = false;                   // one line per request
  std::ostream* logStream = nullptr;  // nullptr: std::clog
  // Independent devices served by this simulator, each on its own port (device i on port + i
  // when port is not 0), each with its own state, faults and recorded requests.
  int devices = 1;
  // The simulator keeps the last requestLog requests for its callers (0 keeps none), shared
  // evenly among its devices (each keeps at least one); older ones are dropped and counted, so
  // memory stays flat however long it runs and however many devices it plays.
  std::size_t requestLog = 4096;
  // A connection that has not delivered a whole request within this time is closed, whether it
  // sent nothing or stalled half-way. 0 waits for ever.
  std::chrono::milliseconds idleTimeout{30000};
  // Every device's reply fields at the start and after Reset().
  ReplyFields replyFields = DefaultReplyFields();
};

// One request as it arrived. Requests whose header was refused are recorded too, with
// badHeader set and no text.
struct RecordedRequest {
  int32_t magic = 0;
  int32_t textLength = 0;
  int32_t command = 0;
  int32_t reserved = 0;
  std::string text;          // as received, NULs kept
  std::vector<uint8_t> raw;  // header and text bytes
  uint64_t connection = 0;   // 1, 2, ... in order of acceptance
  bool badHeader = false;
};

struct ConnectionStats {
  std::size_t accepted = 0;
  std::size_t open = 0;
  std::size_t closedByPeer = 0;    // the client closed or reset the connection
  std::size_t closedByDevice = 0;  // bad header, Close or Reset fault, closeAfter, idle, Stop()
  std::size_t closedIdle = 0;      // of closedByDevice: no whole request within the idle time-out
};

// What the bounded log of recorded requests holds.
struct RequestLogStats {
  std::size_t bound = 0;     // at most this many are kept, the device's share of the log
  std::size_t kept = 0;      // held now
  std::size_t recorded = 0;  // since the last ClearRequests(), kept or dropped
  std::size_t dropped = 0;   // recorded but no longer kept
};

// How the device misbehaves for one command code. Build one with the factories below.
// The delay applies before whatever the kind does, so Delay(...) can be combined with any kind
// by setting the delay field. The delivery fields (splitAfter, oneByteAtATime, trailingNul)
// shape how the bytes of any replying kind reach the client, as a real device or network does:
// a reply in pieces with gaps between them, or with an undeclared byte behind it.
struct Fault {
  enum class Kind {
    kNormal,    // the normal reply (useful with a delay or the delivery fields)
    kNoReply,   // never reply; the connection stays open and further requests are served
    kClose,     // close the connection instead of replying
    kTruncate,  // only the first truncateTo bytes of the normal reply
    kStatus,    // a reply with this status and no text
    kRaw,       // these bytes instead of the reply
    kText,      // status 0 with this text
    kReset,     // reset the connection (the client sees a reset, not an orderly close)
    kIgnore,    // status 0 and no text, but the state is left as it was: a write that did not take
  };

  Kind kind = Kind::kNormal;
  std::chrono::milliseconds delay{0};
  std::size_t truncateTo = 0;
  int32_t status = 0;
  std::string bytes;  // kRaw
  std::string text;   // kText
  // After sending (kTruncate, kRaw, kStatus, kText, kNormal), close the connection.
  bool closeAfter = false;
  // Whether the device still acts on the request (changes its state, accepts the login).
  bool process = true;
  // How many matching requests this fault still applies to; negative means every one.
  int remaining = -1;

  // Write the first splitAfter bytes, wait gap, then the rest (0: one write).
  std::size_t splitAfter = 0;
  // One write per byte, gap between them (takes precedence over splitAfter).
  bool oneByteAtATime = false;
  std::chrono::milliseconds gap{0};
  // One NUL byte right behind the reply, not counted in its text length.
  bool trailingNul = false;

  static Fault Delay(std::chrono::milliseconds ms, int times = -1);
  static Fault NoReply(int times = -1);
  static Fault Close(int times = -1);
  static Fault Truncate(std::size_t bytes, bool thenClose = true, int times = -1);
  static Fault WithStatus(int32_t status, int times = -1);
  static Fault Raw(std::string bytes, bool thenClose = false, int times = -1);
  static Fault WithText(std::string text, int times = -1);
  static Fault Reset(int times = -1);
  // A device that answers success to a write and keeps its old value, as field firmware does;
  // only reading the value back shows it.
  static Fault Ignore(int times = -1);
  // The delivery faults have kind kNormal; set kind, status or text on the result to deliver
  // another reply the same way.
  static Fault Split(std::size_t after, std::chrono::milliseconds gap, int times = -1);
  static Fault ByteByByte(std::chrono::milliseconds gap, int times = -1);
  // The 20-byte reply header in one write and the text in another, as much firmware does.
  static Fault HeaderApart(std::chrono::milliseconds gap, int times = -1);
  static Fault TrailingNul(int times = -1);
  // The normal reply, then the connection closed: on the login (command 45) a device that
  // accepts the login and hangs up before the request.
  static Fault CloseAfterReply(int times = -1);
};

}  // namespace napisim

#endif
