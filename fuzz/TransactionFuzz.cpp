// Fuzzed device bytes, in fuzzed pieces, through the real transaction of operations of every
// family: a loopback peer in this process answers each request the library sends with the next
// reply of the input, then closes or resets. Outputs sit in exact-size heap blocks between guard
// bytes, so any write past them shows.
//
// Input: byte 0 picks the operation, byte 1 the piece size and how the peer ends, then up to three
// replies, each a 16-bit little-endian length and that many bytes.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "support/RawSocket.h"

namespace {

using vml::testing::raw::Handle;
namespace raw = vml::testing::raw;

std::int32_t LittleEndian32(const unsigned char* at) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | at[i];
  return static_cast<std::int32_t>(bits);
}

struct Script {
  std::vector<std::string> replies;
  std::size_t pieceSize = 0;  // 0: each reply in one write
  bool reset = false;
};

// One listener and one thread for the whole run; each input is one connection.
class Peer {
 public:
  Peer() {
    listener_ = raw::Listen(8, &port_);
    thread_ = std::thread([this] { Run(); });
  }
  std::uint16_t Port() const { return port_; }

  void Play(Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }

 private:
  bool ReadRequest(Handle connection) {
    unsigned char buffer[16 + 256];
    std::size_t have = 0;
    std::size_t want = 16;
    while (have < want) {
      int n = raw::ReadWithin(connection, buffer + have, static_cast<int>(want - have), 3000);
      if (n <= 0) return false;
      have += static_cast<std::size_t>(n);
      if (have == 16) {
        std::int32_t length = LittleEndian32(buffer + 4);
        if (length < 0 || length > 256) return false;
        want += static_cast<std::size_t>(length);
      }
    }
    return true;
  }

  static bool Complete(const std::string& reply) {
    if (reply.size() < 20) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(reply.data());
    std::int64_t declared = LittleEndian32(b + 4);
    if (declared < 0) declared = 0;
    // The library drops what the buffer cannot hold, so it waits for all that is declared.
    return static_cast<std::int64_t>(reply.size()) >= 20 + declared;
  }

  void Run() {
    for (;;) {
      Handle connection = raw::AcceptWithin(listener_, 60000);
      if (connection == raw::kNone) continue;
      Script script;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        script = script_;
      }
      for (const std::string& reply : script.replies) {
        if (!ReadRequest(connection)) break;
        // At most eight pieces a reply, so that a run stays fast.
        std::size_t step =
            script.pieceSize == 0 ? reply.size() : std::max(script.pieceSize, reply.size() / 8);
        for (std::size_t at = 0; at < reply.size(); at += step) {
          if (at > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
          raw::WriteAll(connection, reply.data() + at, static_cast<int>(std::min(step, reply.size() - at)));
        }
        // A reply shorter than it declares keeps the library waiting for the rest: end the
        // connection instead, so that no input costs a receive time-out.
        if (!Complete(reply)) break;
      }
      if (script.reset) {
        raw::Reset(connection);
      } else {
        raw::Close(connection);
      }
    }
  }

  Handle listener_ = raw::kNone;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  Script script_;
  std::thread thread_;
};

// An exact-size output with guard blocks on both sides.
class Output {
 public:
  explicit Output(std::size_t size) : size_(size), block_(new unsigned char[size + 2 * kGuard]) {
    std::memset(block_.get(), kPattern, size + 2 * kGuard);
  }
  template <class T>
  T* As() {
    return reinterpret_cast<T*>(block_.get() + kGuard);
  }
  void Check() const {
    for (std::size_t i = 0; i < kGuard; ++i) {
      if (block_[i] != kPattern || block_[kGuard + size_ + i] != kPattern) std::abort();
    }
  }

 private:
  static constexpr std::size_t kGuard = 16;
  static constexpr unsigned char kPattern = 0x5A;
  std::size_t size_;
  std::unique_ptr<unsigned char[]> block_;
};

void RunOperation(ICommand* command, unsigned which) {
  switch (which % 12) {
    case 0:
      command->SetVideoBitrate(512);
      break;
    case 1:
      command->GetVideoBitrate();
      break;
    case 2: {
      Output address(VMLCMD_ADDRESS_BUFFER_SIZE);
      command->GetIpAddress(address.As<char>());
      address.Check();
      break;
    }
    case 3: {
      Output show(sizeof(bool)), position(4), caption(VMLCMD_CAPTION_BUFFER_SIZE);
      command->GetOsdCaption(show.As<bool>(), position.As<int32_t>(), caption.As<char>());
      show.Check();
      position.Check();
      caption.Check();
      break;
    }
    case 4: {
      Output show(sizeof(bool)), position(4), caption(3);
      VmlCmdGetOsdCaptionEx(command, show.As<bool>(), position.As<int32_t>(), caption.As<char>(), 3);
      caption.Check();
      break;
    }
    case 5: {
      Output enabled(sizeof(bool)), l(4), t(4), w(4), h(4);
      command->GetMaskRegion(enabled.As<bool>(), l.As<int32_t>(), t.As<int32_t>(), w.As<int32_t>(),
                             h.As<int32_t>(), 0);
      enabled.Check();
      h.Check();
      break;
    }
    case 6: {
      Output enabled(sizeof(bool)), l(4), t(4), w(4), h(4), d(4);
      command->GetMotionRegion(enabled.As<bool>(), l.As<int32_t>(), t.As<int32_t>(), w.As<int32_t>(),
                               h.As<int32_t>(), d.As<int32_t>(), 0);
      d.Check();
      break;
    }
    case 7: {
      Output show(sizeof(bool)), position(4);
      command->GetOsdTime(show.As<bool>(), position.As<int32_t>());
      position.Check();
      break;
    }
    case 8: {
      Output settings(sizeof(VideoSettings));
      command->GetVideoSettings(settings.As<VideoSettings>());
      settings.Check();
      break;
    }
    case 9: {
      VideoSettings settings{};
      command->SetVideoSettings(&settings);
      break;
    }
    case 10:
      command->GetSerialBaudRate();
      break;
    default:
      command->PtzStop();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Peer* peer = new Peer();  // lives for the whole run
  if (size < 2) return 0;
  Script script;
  script.pieceSize = data[1] & 0x3F;
  script.reset = (data[1] & 0x40) != 0;
  std::size_t at = 2;
  while (script.replies.size() < 3 && at + 2 <= size) {
    std::size_t length = data[at] | static_cast<std::size_t>(data[at + 1]) << 8;
    at += 2;
    if (length > size - at) length = size - at;
    script.replies.emplace_back(reinterpret_cast<const char*>(data + at), length);
    at += length;
  }
  peer->Play(script);

  ICommand* command = CreateICommand();
  if (command == nullptr) return 0;
  command->SetNetworkTarget("127.0.0.1", peer->Port(), "admin", "admin");
  RunOperation(command, data[0]);
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;
  VmlCmdGetLastOutcome(command, &outcome);
  command->Release();
  return 0;
}
