#include "napisim/Simulator.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Device.h"
#include "TextOptions.h"

namespace napisim {

namespace {

int32_t ReadLe32(const uint8_t* p) {
  const uint32_t value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(value);
}

void AppendLe32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
}

std::string EncodeReply(int32_t command, int32_t status, const std::string& text) {
  std::string out;
  out.reserve(kReplyHeaderSize + text.size());
  AppendLe32(out, kMagic);
  AppendLe32(out, static_cast<int32_t>(text.size()));
  AppendLe32(out, command);
  AppendLe32(out, 0);
  AppendLe32(out, status);
  out += text;
  return out;
}

// Log lines show control and non-ASCII bytes as \xNN so one request stays on one line.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
      out += escaped;
    }
  }
  return out;
}

std::string Describe(const Fault& fault) {
  std::string what;
  switch (fault.kind) {
    case Fault::Kind::kNormal:
      what = "normal reply";
      break;
    case Fault::Kind::kNoReply:
      what = "no reply";
      break;
    case Fault::Kind::kClose:
      what = "close";
      break;
    case Fault::Kind::kTruncate:
      what = "truncate to " + std::to_string(fault.truncateTo) + " bytes";
      break;
    case Fault::Kind::kStatus:
      what = "status " + std::to_string(fault.status);
      break;
    case Fault::Kind::kRaw:
      what = std::to_string(fault.bytes.size()) + " raw bytes";
      break;
    case Fault::Kind::kText:
      what = "text \"" + Printable(fault.text) + "\"";
      break;
  }
  if (fault.delay.count() > 0) what += " after " + std::to_string(fault.delay.count()) + " ms";
  if (fault.closeAfter) what += ", then close";
  if (!fault.process) what += ", request ignored";
  return what;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

namespace detail {

class Session;

class Server {
 public:
  explicit Server(Options opts) : options(std::move(opts)) { state = InitialState(); }

  DeviceState InitialState() const {
    DeviceState initial;
    initial.logins = options.accounts;
    initial.videoPorts.assign(static_cast<std::size_t>(std::max(0, options.videoPorts)), VideoPort{});
    return initial;
  }

  void Start();
  void Stop();
  void Reset();
  void Log(const std::string& line);

  // Everything below `mutex` is shared between the network thread and callers.
  Options options;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  DeviceState state;
  std::vector<RecordedRequest> requests;
  std::map<int32_t, Fault> faults;
  ConnectionStats stats;
  std::map<uint64_t, std::weak_ptr<Session>> sessions;
  uint16_t port = 0;

  std::mutex lifecycle;  // serialises Start(), Stop() and Reset()
  std::mutex logMutex;
  std::unique_ptr<asio::io_context> io;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor;
  std::thread thread;
  uint64_t nextConnection = 1;  // network thread only

 private:
  void Accept();
  // Network thread only: drops every open connection.
  void AbortSessions();
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Server& impl, asio::ip::tcp::socket socket, uint64_t id)
      : impl_(impl), socket_(std::move(socket)), timer_(socket_.get_executor()), id_(id) {}

  ~Session() {
    std::lock_guard<std::mutex> lock(impl_.mutex);
    impl_.sessions.erase(id_);
    if (!finished_) CountClosed(false);
  }

  void Start() { ReadHeader(); }

  // Stop(): the device drops the connection, whatever it is waiting for.
  void Abort() { Finish(false); }

 private:
  void ReadHeader() {
    asio::async_read(
        socket_, asio::buffer(header_),
        [self = shared_from_this()](const asio::error_code& ec, std::size_t) { self->OnHeader(ec); });
  }

  void OnHeader(const asio::error_code& ec) {
    if (finished_) return;
    if (ec) return Finish(true);
    const int32_t magic = ReadLe32(&header_[0]);
    const int32_t length = ReadLe32(&header_[4]);
    const int32_t command = ReadLe32(&header_[8]);
    if (magic != kMagic || length < 0 || length > kMaxTextLength) {
      RecordedRequest bad;
      bad.magic = magic;
      bad.textLength = length;
      bad.command = command;
      bad.reserved = ReadLe32(&header_[12]);
      bad.raw.assign(header_.begin(), header_.end());
      bad.connection = id_;
      bad.badHeader = true;
      Record(std::move(bad));
      impl_.Log("conn " + std::to_string(id_) + ": bad request header (magic " + std::to_string(magic) +
                ", text length " + std::to_string(length) + ", command " + std::to_string(command) +
                "); closing connection");
      return Finish(false);
    }
    text_.assign(static_cast<std::size_t>(length), '\0');
    if (length == 0) return OnRequest();
    asio::async_read(socket_, asio::buffer(text_),
                     [self = shared_from_this()](const asio::error_code& readError, std::size_t) {
                       if (self->finished_) return;
                       if (readError) return self->Finish(true);
                       self->OnRequest();
                     });
  }

  void OnRequest() {
    RecordedRequest request;
    request.magic = ReadLe32(&header_[0]);
    request.textLength = ReadLe32(&header_[4]);
    request.command = ReadLe32(&header_[8]);
    request.reserved = ReadLe32(&header_[12]);
    request.text = text_;
    request.raw.assign(header_.begin(), header_.end());
    request.raw.insert(request.raw.end(), text_.begin(), text_.end());
    request.connection = id_;
    const int32_t command = request.command;

    bool faulty = false;
    Fault fault;
    Outcome outcome;
    {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      const auto found = impl_.faults.find(command);
      if (found != impl_.faults.end()) {
        faulty = true;
        fault = found->second;
        if (found->second.remaining > 0 && --found->second.remaining == 0) impl_.faults.erase(found);
      }
      if (!faulty || fault.process) {
        if (command != kLoginCommand && !loggedIn_) {
          outcome.status = kInvalidTicket;
        } else {
          outcome = Execute(impl_.state, command, StripTrailingNuls(text_));
          if (command == kLoginCommand) loggedIn_ = outcome.status == kSuccess;
        }
      }
      // Recorded only after the state changed, so a test that waits for the request sees it.
      impl_.requests.push_back(std::move(request));
    }
    impl_.changed.notify_all();

    std::string line = "conn " + std::to_string(id_) + ": command " + std::to_string(command) + " text \"" +
                       Printable(text_) + "\" ";
    line += outcome.silent ? "no reply" : "status " + std::to_string(outcome.status);
    if (faulty) line += " [fault: " + Describe(fault) + "]";
    impl_.Log(line);

    if (!faulty) return Act(fault, command, outcome);
    if (fault.delay.count() <= 0) return Act(fault, command, outcome);
    timer_.expires_after(fault.delay);
    timer_.async_wait([self = shared_from_this(), fault, command, outcome](const asio::error_code& ec) {
      if (self->finished_ || ec) return;
      self->Act(fault, command, outcome);
    });
  }

  // fault is a default (normal) one when no fault matched.
  void Act(const Fault& fault, int32_t command, const Outcome& outcome) {
    switch (fault.kind) {
      case Fault::Kind::kNormal:
        if (outcome.silent) return ReadHeader();
        return Send(EncodeReply(command, outcome.status, outcome.text), fault.closeAfter);
      case Fault::Kind::kNoReply:
        return ReadHeader();
      case Fault::Kind::kClose:
        return Finish(false);
      case Fault::Kind::kTruncate: {
        std::string reply = EncodeReply(command, outcome.status, outcome.text);
        reply.resize(std::min(reply.size(), fault.truncateTo));
        return Send(std::move(reply), fault.closeAfter);
      }
      case Fault::Kind::kStatus:
        return Send(EncodeReply(command, fault.status, {}), fault.closeAfter);
      case Fault::Kind::kRaw:
        return Send(fault.bytes, fault.closeAfter);
      case Fault::Kind::kText:
        return Send(EncodeReply(command, kSuccess, fault.text), fault.closeAfter);
    }
  }

  void Send(std::string bytes, bool closeAfter) {
    out_ = std::move(bytes);
    asio::async_write(socket_, asio::buffer(out_),
                      [self = shared_from_this(), closeAfter](const asio::error_code& ec, std::size_t) {
                        if (self->finished_) return;
                        if (ec) return self->Finish(true);
                        if (closeAfter) return self->Finish(false);
                        self->ReadHeader();
                      });
  }

  void Record(RecordedRequest request) {
    {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      impl_.requests.push_back(std::move(request));
    }
    impl_.changed.notify_all();
  }

  void Finish(bool byPeer) {
    if (finished_) return;
    finished_ = true;
    asio::error_code ignored;
    timer_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      CountClosed(byPeer);
    }
    impl_.changed.notify_all();
  }

  // Caller holds impl_.mutex.
  void CountClosed(bool byPeer) {
    finished_ = true;
    --impl_.stats.open;
    ++(byPeer ? impl_.stats.closedByPeer : impl_.stats.closedByDevice);
  }

  Server& impl_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;
  const uint64_t id_;
  std::array<uint8_t, kRequestHeaderSize> header_{};
  std::string text_;
  std::string out_;
  bool loggedIn_ = false;
  bool finished_ = false;
};

void Server::Log(const std::string& line) {
  if (!options.log) return;
  std::lock_guard<std::mutex> lock(logMutex);
  std::ostream& out = options.logStream != nullptr ? *options.logStream : std::clog;
  out << "napi-sim: " << line << std::endl;
}

void Server::Start() {
  std::lock_guard<std::mutex> guard(lifecycle);
  if (thread.joinable()) return;
  asio::error_code ec;
  const auto address = asio::ip::make_address_v4(options.address, ec);
  if (ec) throw std::runtime_error("napi-sim: not an IPv4 address: " + options.address);
  // The simulator is a test fixture: it must never be reachable from outside this machine.
  if (!address.is_loopback())
    throw std::runtime_error("napi-sim: refusing non-loopback address " + options.address);

  io = std::make_unique<asio::io_context>(1);
  acceptor = std::make_unique<asio::ip::tcp::acceptor>(*io);
  const asio::ip::tcp::endpoint endpoint(address, options.port);
  acceptor->open(endpoint.protocol(), ec);
  if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor->bind(endpoint, ec);
  if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    acceptor.reset();
    io.reset();
    throw std::runtime_error("napi-sim: cannot listen on " + options.address + ":" +
                             std::to_string(options.port) + ": " + ec.message());
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    port = acceptor->local_endpoint().port();
  }
  Accept();
  thread = std::thread([this] {
    try {
      io->run();
    } catch (const std::exception& e) {
      Log(std::string("network thread stopped: ") + e.what());
    }
  });
}

void Server::Accept() {
  acceptor->async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
    if (!ec) {
      const uint64_t id = nextConnection++;
      auto session = std::make_shared<Session>(*this, std::move(socket), id);
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.accepted;
        ++stats.open;
        sessions[id] = session;
      }
      changed.notify_all();
      session->Start();
    }
    Accept();
  });
}

void Server::Stop() {
  std::lock_guard<std::mutex> guard(lifecycle);
  if (!thread.joinable()) return;
  std::promise<void> closed;
  asio::post(*io, [this, &closed] {
    asio::error_code ignored;
    acceptor->close(ignored);
    AbortSessions();
    closed.set_value();
  });
  // The network thread runs the closing step; if it died, fall through and tear down anyway.
  closed.get_future().wait_for(std::chrono::seconds(5));
  io->stop();
  thread.join();
  // Let the cancelled operations finish on this thread so every session is released here.
  io->restart();
  io->poll();
  acceptor.reset();
  io.reset();
}

void Server::AbortSessions() {
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [id, weak] : sessions) {
      if (auto session = weak.lock()) open.push_back(std::move(session));
    }
  }
  for (const auto& session : open) session->Abort();
}

void Server::Reset() {
  std::lock_guard<std::mutex> guard(lifecycle);
  auto clear = [this] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      state = InitialState();
      requests.clear();
      faults.clear();
      stats = ConnectionStats{};
    }
    changed.notify_all();
  };
  if (!thread.joinable()) return clear();
  // On the network thread, so that no session is half-way through a request while its
  // connection is dropped and the counts are cleared. Shared, because a network thread that
  // died never runs it and it must not point into this frame later.
  auto done = std::make_shared<std::promise<void>>();
  asio::post(*io, [this, clear, done] {
    AbortSessions();
    clear();
    done->set_value();
  });
  if (done->get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    throw std::runtime_error("napi-sim: the network thread did not take the reset");
  }
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------

Simulator::Simulator(Options options) : impl_(std::make_unique<detail::Server>(std::move(options))) {}

Simulator::~Simulator() { Stop(); }

void Simulator::Start() { impl_->Start(); }

void Simulator::Stop() { impl_->Stop(); }

uint16_t Simulator::Port() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->port;
}

bool Simulator::Listening() const {
  std::lock_guard<std::mutex> lock(impl_->lifecycle);
  return impl_->thread.joinable();
}

void Simulator::Reset() { impl_->Reset(); }

std::vector<RecordedRequest> Simulator::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

void Simulator::ClearRequests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requests.clear();
}

bool Simulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

void Simulator::SetFault(int32_t command, Fault fault) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (fault.remaining == 0) {
    impl_->faults.erase(command);
  } else {
    impl_->faults[command] = std::move(fault);
  }
}

void Simulator::ClearFault(int32_t command) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->faults.erase(command);
}

void Simulator::ClearFaults() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->faults.clear();
}

DeviceState Simulator::State() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->state;
}

void Simulator::UpdateState(const std::function<void(DeviceState&)>& change) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  change(impl_->state);
}

nlohmann::json Simulator::StateJson() const { return State(); }

ConnectionStats Simulator::Stats() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->stats;
}

bool Simulator::WaitForIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->stats.open == 0; });
}

}  // namespace napisim
