// The gateway's HTTP server, over Asio: connections wait on the network without holding a thread,
// and each request is answered by a worker once it has arrived whole. Every limit a client could
// push against is explicit and answered at once: header bytes (431), target length (414), body
// size, chunked or not (413), the time a request may take to arrive (cut), connections at once
// and requests waiting for a worker (503). Kept connections are announced with their idle time
// (Keep-Alive: timeout=N), and the server never closes one sooner.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "Http.h"

namespace gateway {

struct HttpLimits {
  std::size_t headerBytes = 16 * 1024;  // the request line and every header together
  std::size_t targetBytes = 2048;
  std::size_t bodyBytes = 1 << 20;
  // From the first byte awaited (after a connection opens, or after the answer before it on a
  // kept connection) to the last byte of the request; announced idle time is less than it.
  std::chrono::seconds requestDeadline{10};
  std::chrono::seconds keepAlive{5};
  std::chrono::seconds writeDeadline{10};
  int connections = 512;  // open at once; more are answered 503 and closed
  int workers = 32;       // requests answered at once
  int queue = 256;        // requests waiting for a worker before 503
};

class HttpServer {
 public:
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
  // The answer the server gives itself when it refuses a request (a limit, a malformed one).
  using Refusal =
      std::function<void(const HttpRequest&, int status, const std::string& message, HttpResponse&)>;
  // Requests that never wait for a busy worker (they get workers of their own): a PTZ stop.
  using Urgent = std::function<bool(const HttpRequest&)>;

  HttpServer(HttpLimits limits, Handler handler, Refusal refusal, Urgent urgent);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Serves HTTPS with this certificate and key (PEM files); false with a reason, or when this
  // build has no TLS.
  bool UseTls(const std::string& certificate, const std::string& key, std::string* problem);
  static bool HasTls();
  // Binds the address alone (no other program may share the port); the port bound, or -1.
  int Bind(const std::string& host, int port, std::string* problem);
  // Serves until Stop(); false when it could not start.
  bool Run();
  // From any thread, a signal's included.
  void Stop();

  class Core;  // the network and the workers, HttpServer.cpp's alone

 private:
  std::unique_ptr<Core> core_;
};

}  // namespace gateway
