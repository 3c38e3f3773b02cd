// The few socket calls the trace relay makes, so that it reads the same on POSIX and Winsock.
// Every wait is bounded by the caller's milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vmlctl::net {

using Handle = std::intptr_t;
constexpr Handle kNoSocket = -1;

enum class ConnectResult { kConnected, kRefused, kTimedOut, kFailed };

// Readies the socket layer for this process (Winsock); true when it can be used.
bool Startup();

// A listener on 127.0.0.1 at a port the system chooses; kNoSocket with error set otherwise.
Handle ListenOnLoopback(uint16_t* port, int* error);
Handle Accept(Handle listener);
// A connection to a dotted-quad address within ms milliseconds; blocking once made.
Handle ConnectWithin(const std::string& host, uint16_t port, int ms, ConnectResult* result, int* error);

// Waits up to ms for any of the handles to have bytes (or an end) to read; marks which.
// Returns false on a time-out or an error.
bool WaitReadable(const Handle* handles, bool* ready, int count, int ms);

// Bytes received (more than 0), 0 when the peer closed, -1 on an error (reset set when the
// peer reset the connection).
long Receive(Handle socket, char* buffer, std::size_t size, bool* reset);
bool SendAll(Handle socket, const char* data, std::size_t size);
void SetSendTimeout(Handle socket, int ms);

void Close(Handle socket);
// Closes so that the peer sees a reset rather than an orderly end.
void CloseWithReset(Handle socket);

int LastError();
// The text of an error number as the socket layer reports it (errno, or a Winsock code).
std::string ErrorText(int error);

}  // namespace vmlctl::net
