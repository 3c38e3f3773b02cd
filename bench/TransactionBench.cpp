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
#include <cstdint>
#include <cstring>
#include <string>

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

template <bool Bounded>
void RawSocketPtzStop(benchmark::State& state) {
  const std::string login = Request(45, "-u admin -p admin");
  const std::string stop = Request(60, "-p 0 -c 12");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(Device().Port());
  char reply[300];
  for (auto _ : state) {
    int fd = Bounded ? ConnectBounded(address) : ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || (!Bounded && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ||
        ::send(fd, login.data(), login.size(), MSG_NOSIGNAL) < 0 || !ReadReply(fd, reply) ||
        ::send(fd, stop.data(), stop.size(), MSG_NOSIGNAL) < 0 || !ReadReply(fd, reply)) {
      state.SkipWithError("raw exchange failed");
    }
    ::close(fd);
  }
}
BENCHMARK(RawSocketPtzStop<false>)->Name("RawSocketPtzStop")->UseRealTime();
BENCHMARK(RawSocketPtzStop<true>)->Name("BoundedRawSocketPtzStop")->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
