// A device that misbehaves the way real ones do: replies in pieces, a header and its text written
// apart, one byte at a time, resets, silence, garbage. It follows a script, written apart from
// the simulator so that a test against it cannot share the simulator's blind spots.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/RawSocket.h"

namespace vml::testing {

// Bytes written with one call, after a pause.
struct Piece {
  std::string bytes;
  std::chrono::milliseconds before{0};
};

// What the peer does after it has read one request.
struct Answer {
  enum class End { kStayOpen, kClose, kReset };
  std::vector<Piece> pieces;
  End end = End::kStayOpen;
};

// What ReplyBytes writes in the fields that the protocol leaves to the device (offsets 0, 8 and
// 12): 100 and zeros as most devices do, zeros throughout, or values drawn anew for every reply
// (never one whose first byte would read as the start of 100).
enum class FreeFields { kUsual, kZero, kDrawn };
void SetFreeFields(FreeFields fields);  // for the replies made from now on, on this thread
const char* FreeFieldsName(FreeFields fields);

// A reply: the 20-byte header (textLength declared, or the text's length) and the text.
std::string ReplyBytes(std::int32_t status, std::string_view text = {},
                       std::optional<std::int32_t> declared = {});
// The bytes as one write; cut before each offset with a pause; or one byte at a time.
Answer Whole(std::string bytes, Answer::End end = Answer::End::kStayOpen);
Answer CutAt(const std::string& bytes, std::vector<std::size_t> offsets, std::chrono::milliseconds gap);
Answer Bytewise(const std::string& bytes, std::chrono::milliseconds gap);
// Closes or resets the connection instead of answering.
Answer Hangup(Answer::End end);

class HostilePeer {
 public:
  // Each connection plays the script from its start: the first answer goes to the login. After
  // the last answer the peer reads on and says nothing until the client leaves.
  explicit HostilePeer(std::vector<Answer> script);
  ~HostilePeer();
  HostilePeer(const HostilePeer&) = delete;
  HostilePeer& operator=(const HostilePeer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Command codes of every request read, in order.
  std::vector<std::int32_t> Commands() const;

 private:
  void AcceptLoop();
  void Serve(raw::Handle connection);
  // Reads one request (header and declared text); false when the client left or the peer stops.
  bool ReadRequest(raw::Handle connection);

  std::vector<Answer> script_;
  raw::Handle listener_ = raw::kNone;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::int32_t> commands_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// A listener whose accept queue is full, so that a connection attempt is neither accepted nor
// refused and times out.
class FullListener {
 public:
  FullListener();
  ~FullListener();
  std::uint16_t Port() const { return port_; }

 private:
  raw::Handle listener_ = raw::kNone;
  std::uint16_t port_ = 0;
  std::vector<raw::Handle> fillers_;
};

// A port where nothing listens (one just closed again).
std::uint16_t UnusedPort();

}  // namespace vml::testing
