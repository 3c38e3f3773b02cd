// --trace: a relay on 127.0.0.1 between the library and the device that prints every request
// and reply passing through it. The library is pointed at the relay, so its road stays exactly
// as it is for every host; the relay connects on to the real device for each connection.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

#include "Socket.h"
#include "VmlCmd/ICommand.h"

namespace vmlctl {

// Cuts one direction of a connection into messages by their headers (16 bytes for a request,
// 20 for a reply, then the declared text) and prints each: header fields, hex with text, and the
// text. Bytes that make no whole message by the end are printed as what arrived.
class WireLog {
 public:
  WireLog(bool requests, std::ostream& out, std::mutex& lock) : requests_(requests), out_(out), lock_(lock) {}
  void Feed(const char* data, std::size_t size, const std::string& prefix);
  void End(const std::string& prefix);  // the connection closed: print what is left

 private:
  void Print(const std::string& bytes, bool whole, const std::string& prefix);

  bool requests_;
  std::ostream& out_;
  std::mutex& lock_;
  std::string pending_;
};

// "magic 100  length 10  command 60  reserved 0" (and "  status 0" for a reply) from the header
// bytes at hand; fields that did not arrive are left out.
std::string HeaderFields(const std::string& bytes, bool request);
// Sixteen bytes a line: offset, hex, and the bytes as text with '.' for what is not printable.
std::string HexDump(const std::string& bytes);

class TraceRelay {
 public:
  TraceRelay(std::string host, int32_t port, std::ostream& out);
  ~TraceRelay();
  TraceRelay(const TraceRelay&) = delete;
  TraceRelay& operator=(const TraceRelay&) = delete;

  // Listens on 127.0.0.1 (any free port) and starts the relay thread; false with a reason.
  bool Start(std::string* problem);
  void Stop();
  uint16_t Port() const { return port_; }

  // What went wrong between the relay and the device on the last connection (the library only
  // sees the relay, so it cannot know), in words; empty when the device was reached.
  std::string UpstreamFailure() const;
  // The same as an outcome would record it, had the library met it: its connect stage and the
  // system error. False when the device was reached.
  bool UpstreamOutcome(VmlCmdOutcome* outcome) const;

 private:
  void Serve();
  void Relay(net::Handle downstream, uint64_t number);
  net::Handle ConnectUpstream(std::string* failure, int32_t* stage, int* error) const;
  std::string Prefix(uint64_t number) const;

  std::string host_;
  int32_t targetPort_;
  std::ostream& out_;
  mutable std::mutex lock_;  // the output stream and upstreamFailure_
  std::string upstreamFailure_;
  int32_t upstreamStage_ = VmlCmdStageNone;
  int upstreamError_ = 0;
  net::Handle listener_ = net::kNoSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};  // a connection is being relayed
  std::thread thread_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace vmlctl
