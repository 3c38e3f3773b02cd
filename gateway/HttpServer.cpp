#include "HttpServer.h"

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#if VMLCMD_GATEWAY_TLS
#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>
#endif

namespace gateway {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using tcp = net::ip::tcp;

namespace {

// A fixed set of threads taking tasks from a bounded queue.
class Workers {
 public:
  Workers(int threads, std::size_t bound) : bound_(bound) {
    for (int i = 0; i < std::max(1, threads); ++i) threads_.emplace_back([this] { Work(); });
  }
  ~Workers() { Stop(); }

  // False, with the task dropped, when the queue is full.
  bool Submit(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ || (bound_ != 0 && queue_.size() >= bound_)) return false;
      queue_.push_back(std::move(task));
    }
    ready_.notify_one();
    return true;
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    queue_.clear();
  }

 private:
  void Work() {
    while (true) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        task = std::move(queue_.front());
        queue_.pop_front();
      }
      task();
    }
  }

  const std::size_t bound_;  // 0: unbounded
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

std::string ReasonOf(bhttp::error error, const HttpLimits& limits) {
  switch (error) {
    case bhttp::error::header_limit:
      return "the request line and headers are larger than " + std::to_string(limits.headerBytes / 1024) +
             " KiB, the most the gateway takes";
    case bhttp::error::body_limit:
      return "the body is larger than " + std::to_string(limits.bodyBytes >> 20) +
             " MiB, the most the gateway takes";
    default:
      return "the request is not well-formed HTTP";
  }
}

}  // namespace

class HttpServer::Core {
 public:
  Core(HttpLimits chosen, Handler answer, Refusal refuse, Urgent isUrgent)
      : limits(chosen),
        handler(std::move(answer)),
        refusal(std::move(refuse)),
        urgent(std::move(isUrgent)),
        workers(chosen.workers, static_cast<std::size_t>(std::max(1, chosen.queue))),
        urgentWorkers(2, 0) {}

  ~Core() {
    StopNetwork();
    workers.Stop();
    urgentWorkers.Stop();
  }

  void Accept();
  void Launch(tcp::socket socket);
  void StopNetwork() {
    {
      std::lock_guard<std::mutex> lock(runMutex);
      stopped = true;
    }
    net::post(io, [this] {
      beast::error_code ignored;
      acceptor.close(ignored);
      io.stop();
    });
    for (std::thread& thread : ioThreads) {
      if (thread.joinable()) thread.join();
    }
    ioThreads.clear();
  }

  const HttpLimits limits;
  const Handler handler;
  const Refusal refusal;
  const Urgent urgent;
  std::atomic<int> connections{0};
  // Declared after what the sessions use: its pending handlers, which hold sessions, go first.
  net::io_context io;
  tcp::acceptor acceptor{io};
  net::steady_timer acceptRetry{io};
#if VMLCMD_GATEWAY_TLS
  std::unique_ptr<net::ssl::context> tls;
#endif
  std::vector<std::thread> ioThreads;
  std::mutex runMutex;
  bool stopped = false;
  Workers workers;
  Workers urgentWorkers;
};

namespace {

template <class Stream>
class Session : public std::enable_shared_from_this<Session<Stream>> {
 public:
  Session(HttpServer::Core& core, Stream stream, std::string remote)
      : core_(core), stream_(std::move(stream)), remote_(std::move(remote)) {
    ++core_.connections;
  }
  ~Session() { --core_.connections; }

  void Start() {
#if VMLCMD_GATEWAY_TLS
    if constexpr (kTls) {
      beast::get_lowest_layer(stream_).expires_after(core_.limits.requestDeadline);
      stream_.async_handshake(net::ssl::stream_base::server,
                              [self = this->shared_from_this()](beast::error_code ec) {
                                if (ec) return self->Close();
                                self->Read();
                              });
      return;
    }
#endif
    Read();
  }

 private:
#if VMLCMD_GATEWAY_TLS
  static constexpr bool kTls = std::is_same_v<Stream, beast::ssl_stream<beast::tcp_stream>>;
#else
  static constexpr bool kTls = false;
#endif

  void Read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(core_.limits.headerBytes));
    parser_->body_limit(core_.limits.bodyBytes);
    // One deadline for the whole request, from the first byte awaited: a client that trickles its
    // headers a byte at a time is cut when it passes, and holds no thread meanwhile.
    beast::get_lowest_layer(stream_).expires_after(core_.limits.requestDeadline);
    bhttp::async_read_header(
        stream_, buffer_, *parser_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
          if (ec || self->parser_->is_done()) return self->OnRead(ec);
          // A client that asks before it sends its body (curl does, past a kilobyte) is told to go on
          // at once rather than after its own second of waiting.
          if (beast::iequals(self->parser_->get()[bhttp::field::expect], "100-continue")) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            net::async_write(self->stream_, net::buffer(kContinue), [self](beast::error_code e, std::size_t) {
              if (e) return self->Close();
              self->ReadBody();
            });
            return;
          }
          self->ReadBody();
        });
  }

  void ReadBody() {
    bhttp::async_read(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(beast::error_code ec) {
    if (ec == bhttp::error::end_of_stream || ec == beast::error::timeout || ec == net::error::eof ||
        ec == net::error::connection_reset || ec == net::error::operation_aborted)
      return Close();
    HttpRequest request;
    request.remote_addr = remote_;
    if (ec) {
      // A fault of the connection ends it; a fault of the request is answered.
      if (ec.category() != bhttp::make_error_code(bhttp::error::header_limit).category()) return Close();
      const auto error = static_cast<bhttp::error>(ec.value());
      const int status = error == bhttp::error::header_limit ? 431
                         : error == bhttp::error::body_limit ? 413
                                                             : 400;
      return Refuse(request, status, ReasonOf(error, core_.limits) + " (" + ec.message() + ")", false);
    }
    auto& message = parser_->get();
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    if (request.target.size() > core_.limits.targetBytes)
      return Refuse(request, 414,
                    "the request's target is longer than " + std::to_string(core_.limits.targetBytes) +
                        " bytes, the most the gateway takes",
                    false);
    if (!SplitTarget(request.target, &request.path, &request.params))
      return Refuse(request, 400, "the request's target holds a malformed %-escape", false);
    for (const auto& field : message) {
      std::string name(field.name_string());
      for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      request.headers.emplace_back(std::move(name), std::string(field.value()));
    }
    request.body = std::move(message.body());
    keepAlive_ = message.keep_alive();
    version_ = message.version();
    // The answer may take a device's seconds: no deadline runs while it is made.
    beast::get_lowest_layer(stream_).expires_never();
    const bool urgent = core_.urgent && core_.urgent(request);
    auto self = this->shared_from_this();
    auto task = [self, request = std::move(request)]() mutable {
      HttpResponse response;
      try {
        self->core_.handler(request, response);
      } catch (...) {
        response = HttpResponse{};
        self->core_.refusal(request, 500, "the gateway failed while answering; nothing more is known",
                            response);
      }
      net::post(self->stream_.get_executor(),
                [self, response = std::move(response)]() mutable { self->Write(std::move(response)); });
    };
    if (!(urgent ? core_.urgentWorkers : core_.workers).Submit(task)) {
      HttpRequest busy;
      busy.method = std::string(message.method_string());
      busy.target = std::string(message.target());
      busy.remote_addr = remote_;
      Refuse(busy, 503, "the gateway is answering as many requests as it takes; try again", true);
    }
  }

  void Refuse(const HttpRequest& request, int status, const std::string& why, bool keep) {
    HttpResponse response;
    core_.refusal(request, status, why, response);
    if (status == 503) response.set_header("Retry-After", "1");
    keepAlive_ = keepAlive_ && keep;
    Write(std::move(response));
  }

  void Write(HttpResponse response) {
    auto out = std::make_shared<bhttp::response<bhttp::string_body>>();
    out->version(version_);
    out->result(static_cast<unsigned>(response.status));
    out->set(bhttp::field::server, "vmlcmd-gateway");
    if (!response.contentType.empty()) out->set(bhttp::field::content_type, response.contentType);
    for (const auto& [name, value] : response.headers) out->set(name, value);
    out->keep_alive(keepAlive_);
    if (keepAlive_) out->set("Keep-Alive", "timeout=" + std::to_string(core_.limits.keepAlive.count()));
    out->body() = std::move(response.body);
    out->prepare_payload();
    beast::get_lowest_layer(stream_).expires_after(core_.limits.writeDeadline);
    bhttp::async_write(stream_, *out,
                       [self = this->shared_from_this(), out](beast::error_code ec, std::size_t) {
                         out->body().clear();  // held until the write ends, then no longer needed
                         if (ec || !self->keepAlive_) return self->Close();
                         self->Read();
                       });
  }

  void Close() {
    beast::error_code ignored;
#if VMLCMD_GATEWAY_TLS
    if constexpr (kTls) {
      beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(1));
      stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) {
        beast::error_code unused;
        beast::get_lowest_layer(self->stream_).socket().close(unused);
      });
      return;
    }
#endif
    beast::get_lowest_layer(stream_).socket().shutdown(tcp::socket::shutdown_send, ignored);
    beast::get_lowest_layer(stream_).socket().close(ignored);
  }

  HttpServer::Core& core_;
  Stream stream_;
  std::string remote_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  bool keepAlive_ = true;
  unsigned version_ = 11;
};

// Past the connection limit: a clear answer, without reading the request, and the connection
// closed.
void RefuseConnection(tcp::socket socket) {
  static const std::string kBody =
      "{\"error\":{\"stage\":\"busy\",\"message\":\"the gateway has as many connections open as it takes\","
      "\"status\":0}}\n";
  static const std::string kBusy =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json; charset=utf-8\r\nRetry-After: "
      "1\r\n"
      "Connection: close\r\nContent-Length: " +
      std::to_string(kBody.size()) + "\r\n\r\n" + kBody;
  auto stream = std::make_shared<beast::tcp_stream>(std::move(socket));
  stream->expires_after(std::chrono::seconds(2));
  net::async_write(*stream, net::buffer(kBusy), [stream](beast::error_code, std::size_t) {
    beast::error_code ignored;
    stream->socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream->socket().close(ignored);
  });
}

}  // namespace

void HttpServer::Core::Accept() {
  acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
    if (ec) {
      // Out of descriptors, say: try again shortly instead of spinning on the listener.
      acceptRetry.expires_after(std::chrono::milliseconds(75));
      acceptRetry.async_wait([this](beast::error_code e) {
        if (!e) Accept();
      });
      return;
    }
    Launch(std::move(socket));
    Accept();
  });
}

void HttpServer::Core::Launch(tcp::socket socket) {
  beast::error_code ec;
  const auto endpoint = socket.remote_endpoint(ec);
  const std::string remote = ec ? std::string("-") : endpoint.address().to_string();
  if (connections.load() >= limits.connections) return RefuseConnection(std::move(socket));
  socket.set_option(tcp::no_delay(true), ec);
#if VMLCMD_GATEWAY_TLS
  if (tls) {
    std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(
        *this, beast::ssl_stream<beast::tcp_stream>(std::move(socket), *tls), remote)
        ->Start();
    return;
  }
#endif
  std::make_shared<Session<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)), remote)->Start();
}

HttpServer::HttpServer(HttpLimits limits, Handler handler, Refusal refusal, Urgent urgent)
    : core_(std::make_unique<Core>(limits, std::move(handler), std::move(refusal), std::move(urgent))) {}

HttpServer::~HttpServer() = default;

bool HttpServer::HasTls() {
#if VMLCMD_GATEWAY_TLS
  return true;
#else
  return false;
#endif
}

bool HttpServer::UseTls(const std::string& certificate, const std::string& key, std::string* problem) {
#if VMLCMD_GATEWAY_TLS
  try {
    auto context = std::make_unique<net::ssl::context>(net::ssl::context::tls_server);
    context->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                         net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                         net::ssl::context::no_tlsv1_1);
    context->use_certificate_chain_file(certificate);
    context->use_private_key_file(key, net::ssl::context::pem);
    core_->tls = std::move(context);
    return true;
  } catch (const std::exception& e) {
    *problem = e.what();
    return false;
  }
#else
  (void)certificate;
  (void)key;
  *problem = "this build has no TLS (serve it behind a TLS proxy)";
  return false;
#endif
}

int HttpServer::Bind(const std::string& host, int port, std::string* problem) {
  beast::error_code ec;
  const auto address = net::ip::make_address(host, ec);
  if (ec) {
    *problem = host + " is no IP address";
    return -1;
  }
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  core_->acceptor.open(endpoint.protocol(), ec);
#ifdef _WIN32
  // Winsock lets another program bind a port taken without this; the port is the gateway's alone.
  if (!ec) {
    const BOOL exclusive = TRUE;
    setsockopt(core_->acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  }
#else
  // SO_REUSEADDR only, never SO_REUSEPORT: a second gateway on the port must fail to start, not
  // take half of the connections.
  if (!ec) core_->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
  if (!ec) core_->acceptor.bind(endpoint, ec);
  if (!ec) core_->acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    *problem = ec.message();
    beast::error_code ignored;
    core_->acceptor.close(ignored);
    return -1;
  }
  return core_->acceptor.local_endpoint().port();
}

bool HttpServer::Run() {
  {
    std::lock_guard<std::mutex> lock(core_->runMutex);
    // A stop asked for before the server ran (a signal just after the start) is a clean stop.
    if (core_->stopped) return true;
    if (!core_->acceptor.is_open()) return false;
    core_->Accept();
    for (int i = 0; i < 2; ++i) core_->ioThreads.emplace_back([this] { core_->io.run(); });
  }
  for (std::thread& thread : core_->ioThreads) thread.join();
  return true;
}

void HttpServer::Stop() {
  // A thread of its own, so that a signal's thread never waits for the network's.
  std::lock_guard<std::mutex> lock(core_->runMutex);
  core_->stopped = true;
  net::post(core_->io, [core = core_.get()] {
    beast::error_code ignored;
    core->acceptor.close(ignored);
    core->io.stop();
  });
}

}  // namespace gateway
