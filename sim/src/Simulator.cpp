#include "napisim/Simulator.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include "Device.h"
#include "Request.h"

namespace napisim {

namespace {

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
    case Fault::Kind::kReset:
      what = "reset";
      break;
    case Fault::Kind::kIgnore:
      what = "status 0, request ignored";
      break;
  }
  if (fault.oneByteAtATime) {
    what += ", one byte at a time";
  } else if (fault.splitAfter > 0) {
    what += ", split after " + std::to_string(fault.splitAfter) + " bytes";
  }
  if (fault.gap.count() > 0 && (fault.oneByteAtATime || fault.splitAfter > 0))
    what += " with " + std::to_string(fault.gap.count()) + " ms gaps";
  if (fault.trailingNul) what += ", trailing NUL";
  if (fault.delay.count() > 0) what += " after " + std::to_string(fault.delay.count()) + " ms";
  if (fault.closeAfter) what += ", then close";
  if (!fault.process) what += ", request ignored";
  return what;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

namespace detail {

// Out of descriptors, a failed accept leaves the connection in the backlog and the listener
// readable; accepting again at once would spin. This long the device waits before it tries.
constexpr std::chrono::milliseconds kAcceptRetry{75};

class Session;

// One simulated device: what it holds is guarded by Server::mutex; the listener and its retry
// timer belong to the network thread (and to Start/Stop while it is not running).
struct Device {
  explicit Device(std::size_t i) : index(i) {}

  const std::size_t index;
  DeviceState state;
  std::deque<RecordedRequest> requests;
  std::size_t recorded = 0;
  std::map<int32_t, Fault> faults;
  ReplyFields replyFields = ReplyFields::kUsual;
  std::mt19937 draws{static_cast<std::mt19937::result_type>(20261210 + index)};
  ConnectionStats stats;
  uint16_t port = 0;       // the first one bound is kept for good: a restart listens there again
  bool listening = false;  // its listener is open (while the network thread runs)

  std::unique_ptr<asio::ip::tcp::acceptor> acceptor;
  std::unique_ptr<asio::steady_timer> retry;
  bool acceptFailing = false;
};

class Server {
 public:
  explicit Server(Options opts) : options(std::move(opts)), requestLog(options.requestLog) {
    const auto count = static_cast<std::size_t>(std::max(1, options.devices));
    for (std::size_t i = 0; i < count; ++i) {
      devices.push_back(std::make_unique<Device>(i));
      devices.back()->state = InitialState();
      devices.back()->replyFields = options.replyFields;
    }
  }

  DeviceState InitialState() const {
    DeviceState initial;
    initial.logins = options.accounts;
    initial.videoPorts.assign(static_cast<std::size_t>(std::max(0, options.videoPorts)), VideoPort{});
    return initial;
  }

  Device& At(std::size_t index) const {
    if (index >= devices.size()) {
      throw std::out_of_range("napi-sim: no device " + std::to_string(index) + " (there are " +
                              std::to_string(devices.size()) + ")");
    }
    return *devices[index];
  }

  // Caller holds mutex.
  void Record(Device& device, RecordedRequest request) {
    ++device.recorded;
    if (Share() == 0) return;
    device.requests.push_back(std::move(request));
    Trim(device);
  }
  void Trim(Device& device) {
    while (device.requests.size() > Share()) device.requests.pop_front();
  }
  // How many requests each device keeps. Caller holds mutex.
  std::size_t Share() const {
    return requestLog == 0 ? 0 : std::max<std::size_t>(1, requestLog / devices.size());
  }

  void Start();
  void Stop();
  void Reset();
  void StopListening(Device& device);
  void StartListening(Device& device);
  void Log(const Device& device, const std::string& line);
  // Wakes the waits, in this process and through the listeners. Caller does not hold mutex.
  void Changed() {
    changed.notify_all();
    std::lock_guard<std::mutex> lock(listenerMutex);
    for (const auto& entry : listeners) entry.second();
  }

  // Everything below `mutex` is shared between the network thread and callers.
  const Options options;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<std::unique_ptr<Device>> devices;  // fixed at construction
  std::size_t requestLog;
  std::map<uint64_t, std::weak_ptr<Session>> sessions;

  std::mutex lifecycle;  // serialises Start(), Stop() and Reset()
  std::mutex logMutex;
  std::mutex listenerMutex;  // listeners and nextListener; held while they run
  std::map<uint64_t, std::function<void()>> listeners;
  uint64_t nextListener = 1;
  std::unique_ptr<asio::io_context> io;
  std::thread thread;
  uint64_t nextConnection = 1;  // network thread only
  uint16_t lastWanted = 0;      // the port the last failed Listen asked for, for its message

 private:
  void Accept(Device& device);
  // Binds the device's listener (at the port it had, once it had one); false with error set.
  bool Listen(Device& device, const asio::ip::address_v4& address, asio::error_code& error);
  // Closes one device's listener and drops its connections. Network thread (or none running).
  void CloseListener(Device& device);
  void CloseListeners();
  asio::ip::address_v4 Address() const;
  void ReleaseNetwork();
  // Network thread only: drops every open connection, or those of one device.
  void AbortSessions(const Device* only = nullptr);
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Server& impl, Device& device, asio::ip::tcp::socket socket, uint64_t id)
      : impl_(impl),
        device_(device),
        socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        idle_(socket_.get_executor()),
        id_(id) {}

  ~Session() {
    std::lock_guard<std::mutex> lock(impl_.mutex);
    impl_.sessions.erase(id_);
    if (!finished_) CountClosed(false, false);
  }

  void Start() {
    asio::error_code ignored;
    // Each write of a reply leaves as its own segment, so pieces arrive as the fault says.
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    ReadHeader();
  }

  // Stop(): the device drops the connection, whatever it is waiting for.
  void Abort() { Finish(false); }
  const Device& Owner() const { return device_; }

 private:
  enum class Ending { kOrderly, kIdle, kReset };

  void ReadHeader() {
    WatchIdle();
    asio::async_read(
        socket_, asio::buffer(header_),
        [self = shared_from_this()](const asio::error_code& ec, std::size_t) { self->OnHeader(ec); });
  }

  // From the first byte awaited to the last byte of the request: a client that sends nothing,
  // or stops half-way, is dropped once the time-out passes.
  void WatchIdle() {
    const auto timeout = impl_.options.idleTimeout;
    if (timeout.count() <= 0) return;
    const uint64_t watch = ++watch_;
    idle_.expires_after(timeout);
    idle_.async_wait([self = shared_from_this(), watch](const asio::error_code& ec) {
      if (ec || self->finished_ || watch != self->watch_) return;
      self->Log("no whole request within " + std::to_string(self->impl_.options.idleTimeout.count()) +
                " ms; closing connection");
      self->Finish(false, Ending::kIdle);
    });
  }

  void StopWatching() {
    ++watch_;
    idle_.cancel();
  }

  void OnHeader(const asio::error_code& ec) {
    if (finished_) return;
    if (ec) return Finish(true);
    const RequestHeader header = ReadRequestHeader(header_.data());
    if (!IsAcceptable(header)) {
      StopWatching();
      RecordedRequest bad;
      bad.magic = header.magic;
      bad.textLength = header.textLength;
      bad.command = header.command;
      bad.reserved = header.reserved;
      bad.raw.assign(header_.begin(), header_.end());
      bad.connection = id_;
      bad.badHeader = true;
      {
        std::lock_guard<std::mutex> lock(impl_.mutex);
        impl_.Record(device_, std::move(bad));
      }
      impl_.Changed();
      Log("bad request header (magic " + std::to_string(header.magic) + ", text length " +
          std::to_string(header.textLength) + ", command " + std::to_string(header.command) +
          "); closing connection");
      return Finish(false);
    }
    text_.assign(static_cast<std::size_t>(header.textLength), '\0');
    if (header.textLength == 0) return OnRequest(header);
    asio::async_read(socket_, asio::buffer(text_),
                     [self = shared_from_this(), header](const asio::error_code& readError, std::size_t) {
                       if (self->finished_) return;
                       if (readError) return self->Finish(true);
                       self->OnRequest(header);
                     });
  }

  void OnRequest(const RequestHeader& header) {
    StopWatching();
    RecordedRequest request;
    request.magic = header.magic;
    request.textLength = header.textLength;
    request.command = header.command;
    request.reserved = header.reserved;
    request.text = text_;
    request.raw.reserve(header_.size() + text_.size());
    request.raw.assign(header_.begin(), header_.end());
    request.raw.insert(request.raw.end(), text_.begin(), text_.end());
    request.connection = id_;
    const int32_t command = header.command;

    bool faulty = false;
    Fault fault;
    Outcome outcome;
    ReplyFreeValues free = UsualFreeValues(command);
    {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      free = FreeValuesFor(command);
      const auto found = device_.faults.find(command);
      if (found != device_.faults.end()) {
        faulty = true;
        fault = found->second;
        if (found->second.remaining > 0 && --found->second.remaining == 0) device_.faults.erase(found);
      }
      if (!faulty || (fault.process && fault.kind != Fault::Kind::kIgnore))
        outcome = Answer(device_.state, loggedIn_, command, text_);
      // Recorded only after the state changed, so a test that waits for the request sees it.
      impl_.Record(device_, std::move(request));
    }
    impl_.Changed();

    if (impl_.options.log) {
      std::string line = "command " + std::to_string(command) + " text \"" + Printable(text_) + "\" ";
      line += outcome.silent ? "no reply" : "status " + std::to_string(outcome.status);
      if (faulty) line += " [fault: " + Describe(fault) + "]";
      Log(line);
    }

    if (!faulty || fault.delay.count() <= 0) return Act(fault, free, outcome);
    timer_.expires_after(fault.delay);
    timer_.async_wait([self = shared_from_this(), fault, free, outcome](const asio::error_code& ec) {
      if (self->finished_ || ec) return;
      self->Act(fault, free, outcome);
    });
  }

  // The reply's free fields as the device writes them now. Caller holds the mutex.
  ReplyFreeValues FreeValuesFor(int32_t command) {
    switch (device_.replyFields) {
      case ReplyFields::kUsual:
        break;
      case ReplyFields::kZero:
        return ReplyFreeValues{0, 0, 0};
      case ReplyFields::kDrawn: {
        auto first = static_cast<uint32_t>(device_.draws());
        if ((first & 0xFFu) == static_cast<uint32_t>(kMagic)) first ^= 1u;
        return ReplyFreeValues{static_cast<int32_t>(first), static_cast<int32_t>(device_.draws()),
                               static_cast<int32_t>(device_.draws())};
      }
    }
    return UsualFreeValues(command);
  }

  // fault is a default (normal) one when no fault matched.
  void Act(const Fault& fault, const ReplyFreeValues& free, const Outcome& outcome) {
    std::string bytes;
    if (FaultReply(fault, free, outcome, &bytes)) {
      pieces_ = DeliveryPieces(std::move(bytes), fault);
      gap_ = fault.gap;
      closeAfter_ = fault.closeAfter;
      return WritePiece(0);
    }
    switch (fault.kind) {
      case Fault::Kind::kClose:
        return Finish(false);
      case Fault::Kind::kReset:
        return Finish(false, Ending::kReset);
      default:
        return ReadHeader();  // no reply, or a request the device never answers
    }
  }

  void WritePiece(std::size_t index) {
    asio::async_write(socket_, asio::buffer(pieces_[index]),
                      [self = shared_from_this(), index](const asio::error_code& ec, std::size_t) {
                        if (self->finished_) return;
                        if (ec) return self->Finish(true);
                        self->AfterPiece(index);
                      });
  }

  void AfterPiece(std::size_t index) {
    if (index + 1 < pieces_.size()) {
      if (gap_.count() <= 0) return WritePiece(index + 1);
      timer_.expires_after(gap_);
      timer_.async_wait([self = shared_from_this(), index](const asio::error_code& ec) {
        if (self->finished_ || ec) return;
        self->WritePiece(index + 1);
      });
      return;
    }
    pieces_.clear();
    if (closeAfter_) return Finish(false);
    ReadHeader();
  }

  void Log(const std::string& line) { impl_.Log(device_, "conn " + std::to_string(id_) + ": " + line); }

  void Finish(bool byPeer, Ending ending = Ending::kOrderly) {
    if (finished_) return;
    finished_ = true;
    asio::error_code ignored;
    timer_.cancel();
    idle_.cancel();
    if (ending == Ending::kReset) {
      // A zero linger time makes close() send a reset instead of the orderly end.
      socket_.set_option(asio::socket_base::linger(true, 0), ignored);
    } else {
      socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    }
    socket_.close(ignored);
    {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      CountClosed(byPeer, ending == Ending::kIdle);
    }
    impl_.Changed();
  }

  // Caller holds impl_.mutex.
  void CountClosed(bool byPeer, bool idle) {
    finished_ = true;
    ConnectionStats& stats = device_.stats;
    --stats.open;
    ++(byPeer ? stats.closedByPeer : stats.closedByDevice);
    if (idle) ++stats.closedIdle;
  }

  Server& impl_;
  Device& device_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;  // fault delays and the gaps between pieces
  asio::steady_timer idle_;
  uint64_t watch_ = 0;  // which idle watch is current
  const uint64_t id_;
  std::array<uint8_t, kRequestHeaderSize> header_{};
  std::string text_;
  std::vector<std::string> pieces_;
  std::chrono::milliseconds gap_{0};
  bool closeAfter_ = false;
  bool loggedIn_ = false;
  bool finished_ = false;
};

void Server::Log(const Device& device, const std::string& line) {
  if (!options.log) return;
  std::lock_guard<std::mutex> lock(logMutex);
  std::ostream& out = options.logStream != nullptr ? *options.logStream : std::clog;
  out << "napi-sim: ";
  if (devices.size() > 1) out << "device " << device.index << " ";
  out << line << std::endl;
}

asio::ip::address_v4 Server::Address() const {
  asio::error_code ec;
  const auto address = asio::ip::make_address_v4(options.address, ec);
  if (ec) throw std::runtime_error("napi-sim: not an IPv4 address: " + options.address);
  // The simulator is a test fixture: it must never be reachable from outside this machine.
  if (!address.is_loopback())
    throw std::runtime_error("napi-sim: refusing non-loopback address " + options.address);
  return address;
}

bool Server::Listen(Device& device, const asio::ip::address_v4& address, asio::error_code& ec) {
  uint16_t wanted = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    wanted = device.port != 0 ? device.port
                              : static_cast<uint16_t>(options.port == 0 ? 0 : options.port + device.index);
  }
  const asio::ip::tcp::endpoint endpoint(address, wanted);
  if (!device.acceptor) device.acceptor = std::make_unique<asio::ip::tcp::acceptor>(*io);
  if (!device.retry) device.retry = std::make_unique<asio::steady_timer>(*io);
  device.acceptFailing = false;
  auto& acceptor = *device.acceptor;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    asio::error_code ignored;
    acceptor.close(ignored);
    lastWanted = wanted;
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex);
  device.port = acceptor.local_endpoint().port();
  device.listening = true;
  return true;
}

void Server::Start() {
  std::lock_guard<std::mutex> guard(lifecycle);
  const auto address = Address();
  if (thread.joinable()) {
    // Running: every device whose own listener was stopped listens again.
    for (auto& device : devices) {
      bool listening = false;
      {
        std::lock_guard<std::mutex> lock(mutex);
        listening = device->listening;
      }
      if (!listening) StartListening(*device);
    }
    return;
  }
  if (options.port != 0 && options.port + devices.size() - 1 > 65535) {
    throw std::runtime_error("napi-sim: " + std::to_string(devices.size()) + " devices from port " +
                             std::to_string(options.port) + " run past port 65535");
  }

  io = std::make_unique<asio::io_context>(1);
  for (auto& device : devices) {
    asio::error_code ec;
    if (!Listen(*device, address, ec)) {
      CloseListeners();
      ReleaseNetwork();
      throw std::runtime_error("napi-sim: cannot listen on " + options.address + ":" +
                               std::to_string(lastWanted) + ": " + ec.message());
    }
  }
  for (auto& device : devices) Accept(*device);
  thread = std::thread([this] {
    try {
      io->run();
    } catch (const std::exception& e) {
      Log(*devices.front(), std::string("network thread stopped: ") + e.what());
    }
  });
}

// On the network thread, so no accept or session of the device is half-way through while its
// listener closes; the caller waits for it.
void Server::StopListening(Device& device) {
  if (!thread.joinable()) return;
  auto done = std::make_shared<std::promise<void>>();
  asio::post(*io, [this, &device, done] {
    CloseListener(device);
    done->set_value();
  });
  if (done->get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    throw std::runtime_error("napi-sim: the network thread did not stop the listener");
  }
  Changed();
}

void Server::StartListening(Device& device) {
  if (!thread.joinable()) throw std::logic_error("napi-sim: the simulator is stopped; start it first");
  const auto address = Address();
  auto done = std::make_shared<std::promise<std::string>>();
  asio::post(*io, [this, &device, address, done] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (device.listening) return done->set_value({});
    }
    asio::error_code ec;
    if (!Listen(device, address, ec)) {
      return done->set_value("napi-sim: cannot listen on " + options.address + ":" +
                             std::to_string(lastWanted) + ": " + ec.message());
    }
    Accept(device);
    done->set_value({});
  });
  auto result = done->get_future();
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    throw std::runtime_error("napi-sim: the network thread did not start the listener");
  }
  if (const std::string problem = result.get(); !problem.empty()) throw std::runtime_error(problem);
}

void Server::Accept(Device& device) {
  device.acceptor->async_accept([this, &device](const asio::error_code& ec, asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !device.acceptor->is_open()) return;
    if (ec) {
      if (!device.acceptFailing) Log(device, "cannot accept (" + ec.message() + "); retrying");
      device.acceptFailing = true;
      device.retry->expires_after(kAcceptRetry);
      device.retry->async_wait([this, &device](const asio::error_code& waitError) {
        if (waitError || !device.acceptor->is_open()) return;
        Accept(device);
      });
      return;
    }
    if (device.acceptFailing) Log(device, "accepting again");
    device.acceptFailing = false;
    const uint64_t id = nextConnection++;
    auto session = std::make_shared<Session>(*this, device, std::move(socket), id);
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++device.stats.accepted;
      ++device.stats.open;
      sessions[id] = session;
    }
    Changed();
    session->Start();
    Accept(device);
  });
}

void Server::CloseListener(Device& device) {
  asio::error_code ignored;
  if (device.retry) device.retry->cancel();
  if (device.acceptor) device.acceptor->close(ignored);
  {
    std::lock_guard<std::mutex> lock(mutex);
    device.listening = false;
  }
  AbortSessions(&device);
}

void Server::CloseListeners() {
  for (auto& device : devices) {
    asio::error_code ignored;
    if (device->retry) device->retry->cancel();
    if (device->acceptor) device->acceptor->close(ignored);
    std::lock_guard<std::mutex> lock(mutex);
    device->listening = false;
  }
}

void Server::Stop() {
  std::lock_guard<std::mutex> guard(lifecycle);
  if (!thread.joinable()) return;
  std::promise<void> closed;
  asio::post(*io, [this, &closed] {
    CloseListeners();
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
  ReleaseNetwork();
}

// Listeners and timers live on the io_context's services, so they must go before it does;
// otherwise a later Start or the destructor frees them against a context already gone.
void Server::ReleaseNetwork() {
  for (auto& device : devices) {
    device->retry.reset();
    device->acceptor.reset();
  }
  io.reset();
}

void Server::AbortSessions(const Device* only) {
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [id, weak] : sessions) {
      auto session = weak.lock();
      if (session && (only == nullptr || &session->Owner() == only)) open.push_back(std::move(session));
    }
  }
  for (const auto& session : open) session->Abort();
}

void Server::Reset() {
  std::lock_guard<std::mutex> guard(lifecycle);
  auto clear = [this] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (auto& device : devices) {
        device->state = InitialState();
        device->requests.clear();
        device->recorded = 0;
        device->faults.clear();
        device->replyFields = options.replyFields;
        device->stats = ConnectionStats{};
      }
    }
    Changed();
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

uint16_t Simulator::Port() const { return Port(0); }

uint16_t Simulator::Port(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->At(device).port;
}

std::size_t Simulator::DeviceCount() const { return impl_->devices.size(); }

bool Simulator::Listening() const {
  std::lock_guard<std::mutex> lock(impl_->lifecycle);
  return impl_->thread.joinable();
}

bool Simulator::Listening(std::size_t device) const {
  std::lock_guard<std::mutex> guard(impl_->lifecycle);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->thread.joinable() && impl_->At(device).listening;
}

void Simulator::StopListening(std::size_t device) {
  std::lock_guard<std::mutex> guard(impl_->lifecycle);
  impl_->StopListening(impl_->At(device));
}

void Simulator::StartListening(std::size_t device) {
  std::lock_guard<std::mutex> guard(impl_->lifecycle);
  impl_->StartListening(impl_->At(device));
}

void Simulator::Reset() { impl_->Reset(); }

std::vector<RecordedRequest> Simulator::Requests() const { return Requests(0); }

std::vector<RecordedRequest> Simulator::Requests(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const auto& requests = impl_->At(device).requests;
  return {requests.begin(), requests.end()};
}

void Simulator::ClearRequests() { ClearRequests(0); }

void Simulator::ClearRequests(std::size_t device) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  auto& target = impl_->At(device);
  target.requests.clear();
  target.recorded = 0;
}

bool Simulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitForRequests(0, count, timeout);
}

bool Simulator::WaitForRequests(std::size_t device, std::size_t count,
                                std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  const auto& target = impl_->At(device);
  return impl_->changed.wait_for(lock, timeout, [&] { return target.recorded >= count; });
}

RequestLogStats Simulator::RequestLog(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const auto& target = impl_->At(device);
  return RequestLogStats{impl_->Share(), target.requests.size(), target.recorded,
                         target.recorded - target.requests.size()};
}

void Simulator::SetRequestLog(std::size_t bound) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requestLog = bound;
  for (auto& device : impl_->devices) impl_->Trim(*device);
}

void Simulator::SetFault(int32_t command, Fault fault) { SetFault(0, command, std::move(fault)); }

void Simulator::SetFault(std::size_t device, int32_t command, Fault fault) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  auto& faults = impl_->At(device).faults;
  if (fault.remaining == 0) {
    faults.erase(command);
  } else {
    faults[command] = std::move(fault);
  }
}

void Simulator::SetReplyFields(ReplyFields fields) {
  for (std::size_t i = 0; i < DeviceCount(); ++i) SetReplyFields(i, fields);
}

void Simulator::SetReplyFields(std::size_t device, ReplyFields fields) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->At(device).replyFields = fields;
}

ReplyFields Simulator::GetReplyFields(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->At(device).replyFields;
}

void Simulator::ClearFault(int32_t command) { ClearFault(0, command); }

void Simulator::ClearFault(std::size_t device, int32_t command) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->At(device).faults.erase(command);
}

void Simulator::ClearFaults() { ClearFaults(0); }

void Simulator::ClearFaults(std::size_t device) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->At(device).faults.clear();
}

DeviceState Simulator::State() const { return State(0); }

DeviceState Simulator::State(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->At(device).state;
}

void Simulator::UpdateState(const std::function<void(DeviceState&)>& change) { UpdateState(0, change); }

void Simulator::UpdateState(std::size_t device, const std::function<void(DeviceState&)>& change) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  change(impl_->At(device).state);
}

nlohmann::json Simulator::StateJson() const { return State(0); }

nlohmann::json Simulator::StateJson(std::size_t device) const { return State(device); }

ConnectionStats Simulator::Stats() const { return Stats(0); }

ConnectionStats Simulator::Stats(std::size_t device) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->At(device).stats;
}

bool Simulator::WaitForIdle(std::chrono::milliseconds timeout) const { return WaitForIdle(0, timeout); }

bool Simulator::WaitForIdle(std::size_t device, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  const auto& target = impl_->At(device);
  return impl_->changed.wait_for(lock, timeout, [&] { return target.stats.open == 0; });
}

uint64_t Simulator::AddChangeListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(impl_->listenerMutex);
  const uint64_t handle = impl_->nextListener++;
  impl_->listeners.emplace(handle, std::move(listener));
  return handle;
}

void Simulator::RemoveChangeListener(uint64_t handle) {
  std::lock_guard<std::mutex> lock(impl_->listenerMutex);
  impl_->listeners.erase(handle);
}

}  // namespace napisim
