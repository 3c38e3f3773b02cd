// Plain TCP sockets for test peers that play a device, written apart from the simulator and the
// library so that they share neither one's mistakes. Loopback only.
#pragma once

#include <cstdint>

namespace vml::testing::raw {

using Handle = std::intptr_t;
inline constexpr Handle kNone = -1;

void Startup();
// A listener on 127.0.0.1 with a port the system chooses.
Handle Listen(int backlog, std::uint16_t* port);
// Starts a connection without waiting for it (to fill a listener's queue).
Handle ConnectNoWait(std::uint16_t port);
// True when a pending connection attempt completes within ms milliseconds.
bool ConnectedWithin(Handle socket, int ms);
Handle AcceptWithin(Handle listener, int ms);
// Bytes read (at most capacity), 0 when the peer closed, -1 on an error, -2 on a time-out.
int ReadWithin(Handle socket, void* buffer, int capacity, int ms);
bool WriteAll(Handle socket, const void* data, int length);
// Closes with an RST instead of the orderly close.
void Reset(Handle socket);
void Close(Handle socket);
// Open descriptors or handles of this process; -1 where the platform cannot tell.
int OpenHandles();

}  // namespace vml::testing::raw
