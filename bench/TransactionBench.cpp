// What one operation costs beside the floor the network sets: the library's PtzStop against
// raw-socket clients that make the same connection and the same two exchanges with the same
// bytes, all against the simulated device on loopback in the same run. Both raw clients read a
// reply as any correct client must: the header, then the text its length declares, by as many
// receives as that takes. The bare client blocks without limits; the bounded one makes the
// system calls a blocking client needs to bound its waits (non-blocking connect with a 100 ms
// wait, send and receive time-outs).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "napisim/Simulator.h"

namespace {

napisim::Simulator& Device() {
  static napisim::Simulator* device = [] {
    auto* started = new napisim::Simulator();
    started->Start();
    return started;
  }();
  return *device;
}

std::string Request(int32_t command, const std::string& text) {
  std::string bytes(16, '\0');
  int32_t header[4] = {100, static_cast<int32_t>(text.size()), command, 0};
  std::memcpy(bytes.data(), header, sizeof header);
  return bytes + text;
}

void LibraryPtzStop(benchmark::State& state) {
  ICommand* command = CreateICommand();
  command->SetNetworkTarget("127.0.0.1", Device().Port(), "admin", "admin");
  for (auto _ : state) {
    if (!command->PtzStop()) state.SkipWithError("PtzStop failed");
  }
  command->Release();
}
BENCHMARK(LibraryPtzStop)->UseRealTime();

int ConnectBounded(const sockaddr_in& address) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1, off = 0;
  ::ioctl(fd, FIONBIO, &on);
  ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  pollfd entry{fd, POLLOUT, 0};
  int error = 0;
  socklen_t length = sizeof error;
  if (::poll(&entry, 1, 100) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
      error != 0) {
    ::close(fd);
    return -1;
  }
  ::ioctl(fd, FIONBIO, &off);
  timeval second{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
  return fd;
}

// One reply: whatever has come, up to the 299 bytes a reply buffer holds, until the header and
// the text it declares are in.
bool ReadReply(int fd, char* reply) {
  std::size_t received = 0;
  std::size_t wanted = 20;
  while (received < wanted) {
    const ssize_t got = ::recv(fd, reply + received, 299 - received, 0);
    if (got <= 0) return false;
    received += static_cast<std::size_t>(got);
    if (received >= 20) {
      int32_t length = 0;
      std::memcpy(&length, reply + 4, sizeof length);
      wanted = std::min<std::size_t>(20 + static_cast<std::size_t>(std::max(length, 0)), 299);
    }
  }
  return true;
}

// One raw client's connection and two exchanges: the same bytes the library sends.
class RawClient {
 public:
  RawClient() {
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address_.sin_port = htons(Device().Port());
  }

  template <bool Bounded>
  bool PtzStop() {
    int fd = Bounded ? ConnectBounded(address_) : ::socket(AF_INET, SOCK_STREAM, 0);
    const bool done =
        fd >= 0 && (Bounded || ::connect(fd, reinterpret_cast<sockaddr*>(&address_), sizeof address_) == 0) &&
        ::send(fd, login_.data(), login_.size(), MSG_NOSIGNAL) >= 0 && ReadReply(fd, reply_) &&
        ::send(fd, stop_.data(), stop_.size(), MSG_NOSIGNAL) >= 0 && ReadReply(fd, reply_);
    if (fd >= 0) ::close(fd);
    return done;
  }

 private:
  const std::string login_ = Request(45, "-u admin -p admin");
  const std::string stop_ = Request(60, "-p 0 -c 12");
  sockaddr_in address_{};
  char reply_[300] = {};
};

template <bool Bounded>
void RawSocketPtzStop(benchmark::State& state) {
  RawClient client;
  for (auto _ : state) {
    if (!client.PtzStop<Bounded>()) state.SkipWithError("raw exchange failed");
  }
}
BENCHMARK(RawSocketPtzStop<false>)->Name("RawSocketPtzStop")->UseRealTime();
BENCHMARK(RawSocketPtzStop<true>)->Name("BoundedRawSocketPtzStop")->UseRealTime();

// The three clients in turn, each operation timed on its own: every round runs one operation of
// each, the rounds going through all six orders, so that whatever the machine does over seconds
// (the loopback's TIME_WAIT ports filling, a neighbour's load, the clock) falls on all three
// alike. Separate benchmarks, even interleaved, compare repetitions half a second apart, and on a
// virtual machine those drift by more than the difference measured. The counters are medians and
// means in microseconds; bench/ratio.sh prints their ratios.
void PairedPtzStop(benchmark::State& state) {
  ICommand* command = CreateICommand();
  command->SetNetworkTarget("127.0.0.1", Device().Port(), "admin", "admin");
  RawClient raw;
  std::vector<double> times[3];
  for (auto& column : times) column.reserve(1 << 16);
  std::size_t round = 0;
  for (auto _ : state) {
    // All six orders in turn, so that each client follows each of the others equally often.
    static constexpr std::size_t kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                                  {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (std::size_t turn = 0; turn < 3; ++turn) {
      const std::size_t client = kOrders[round % 6][turn];
      const auto start = std::chrono::steady_clock::now();
      const bool done = client == 0   ? command->PtzStop()
                        : client == 1 ? raw.PtzStop<false>()
                                      : raw.PtzStop<true>();
      const auto spent = std::chrono::steady_clock::now() - start;
      if (!done) state.SkipWithError("an exchange failed");
      times[client].push_back(std::chrono::duration<double, std::micro>(spent).count());
    }
    ++round;
  }
  command->Release();
  const char* names[3] = {"library", "bare", "bounded"};
  for (std::size_t client = 0; client < 3; ++client) {
    auto& column = times[client];
    if (column.empty()) return;
    std::nth_element(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(column.size() / 2),
                     column.end());
    state.counters[std::string(names[client]) + "_median_us"] = column[column.size() / 2];
    state.counters[std::string(names[client]) + "_mean_us"] =
        std::accumulate(column.begin(), column.end(), 0.0) / static_cast<double>(column.size());
  }
}
BENCHMARK(PairedPtzStop)->UseRealTime()->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
