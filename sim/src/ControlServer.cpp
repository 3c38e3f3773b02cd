#include "napisim/ControlServer.h"

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "napisim/ControlJson.h"

namespace napisim {
namespace {

using SteadyClock = std::chrono::steady_clock;
using nlohmann::json;

// A longer line is not a request of this channel; the connection is dropped.
constexpr std::size_t kMaxLine = 4 * 1024 * 1024;
constexpr std::chrono::milliseconds kLongestWait{60000};

// The command line's own bound on video ports.
constexpr long long kMostVideoPorts = 64;

// A field the request must have, whole and in min..max.
long long Required(const json& request, const char* key, long long min, long long max) {
  if (!request.contains(key)) throw std::invalid_argument(std::string(key) + " is missing");
  return IntegerField(request, key, min, max, 0);
}

std::chrono::milliseconds Timeout(const json& request) {
  return std::chrono::milliseconds(Required(request, "timeoutMs", 0, kLongestWait.count()));
}

std::size_t Count(const json& request, const char* key = "count") {
  return static_cast<std::size_t>(Required(request, key, 0, std::numeric_limits<int32_t>::max()));
}

int32_t Command(const json& request) {
  return static_cast<int32_t>(
      Required(request, "command", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The device a request addresses: its optional "device" index, 0 without one.
std::size_t DeviceOf(const Simulator& simulator, const json& request) {
  const auto index = IntegerField(request, "device", std::numeric_limits<int32_t>::min(),
                                  std::numeric_limits<int32_t>::max(), 0);
  if (index < 0 || static_cast<unsigned long long>(index) >= simulator.DeviceCount()) {
    throw std::out_of_range("no device " + std::to_string(index) + " (there are " +
                            std::to_string(simulator.DeviceCount()) + ")");
  }
  return static_cast<std::size_t>(index);
}

json Listening(const Simulator& simulator, std::size_t device) {
  return {{"ok", true}, {"port", simulator.Port(device)}, {"listening", simulator.Listening(device)}};
}

}  // namespace

json AnswerControlRequest(Simulator& simulator, const json& request) {
  const std::string op = request.at("op").get<std::string>();
  const std::size_t device = DeviceOf(simulator, request);
  const json done = {{"ok", true}};
  if (op == "reset") {
    // Everything is read before anything is applied: a refused field changes nothing.
    std::vector<Account> accounts;
    for (const auto& entry : request.value("accounts", json::array())) {
      accounts.push_back({entry.at("user").get<std::string>(), entry.at("password").get<std::string>()});
    }
    const auto videoPorts = IntegerField(request, "videoPorts", 0, kMostVideoPorts, -1);
    simulator.Reset();
    if (request.contains("accounts") || request.contains("videoPorts")) {
      for (std::size_t i = 0; i < simulator.DeviceCount(); ++i) {
        simulator.UpdateState(i, [&](DeviceState& state) {
          if (request.contains("accounts")) state.logins = accounts;
          if (videoPorts >= 0) state.videoPorts.assign(static_cast<std::size_t>(videoPorts), VideoPort{});
        });
      }
    }
    return done;
  }
  if (op == "set-fault") {
    const int32_t command = Command(request);
    simulator.SetFault(device, command, request.at("fault").get<Fault>());
    return done;
  }
  if (op == "clear-fault") {
    simulator.ClearFault(device, Command(request));
    return done;
  }
  if (op == "clear-faults") {
    simulator.ClearFaults(device);
    return done;
  }
  if (op == "clear-requests") {
    simulator.ClearRequests(device);
    return done;
  }
  if (op == "requests") {
    // The log first: a request recorded in between is then counted, never lost from both.
    const RequestLogStats log = simulator.RequestLog(device);
    return {{"ok", true},
            {"requests", simulator.Requests(device)},
            {"bound", log.bound},
            {"recorded", log.recorded},
            {"dropped", log.dropped}};
  }
  if (op == "request-log") {
    if (request.contains("bound")) simulator.SetRequestLog(Count(request, "bound"));
    return {{"ok", true}, {"log", simulator.RequestLog(device)}};
  }
  if (op == "set-reply-fields") {
    ReplyFields fields = ReplyFields::kUsual;
    if (!ParseReplyFields(request.at("fields").get<std::string>(), &fields))
      throw std::invalid_argument("fields: one of usual, zero, drawn");
    // Without a device, every device: the mode is about what the whole test depends on.
    if (request.contains("device")) {
      simulator.SetReplyFields(device, fields);
    } else {
      simulator.SetReplyFields(fields);
    }
    return done;
  }
  if (op == "stats") return {{"ok", true}, {"stats", simulator.Stats(device)}};
  if (op == "state") return {{"ok", true}, {"state", simulator.State(device)}};
  if (op == "devices") {
    json ports = json::array();
    for (std::size_t i = 0; i < simulator.DeviceCount(); ++i) ports.push_back(simulator.Port(i));
    return {{"ok", true}, {"count", simulator.DeviceCount()}, {"ports", ports}};
  }
  if (op == "port") return Listening(simulator, device);
  // With a device, that device alone, so a fleet test can kill and revive one; without, all.
  if (op == "stop-listening") {
    if (request.contains("device")) {
      simulator.StopListening(device);
    } else {
      simulator.Stop();
    }
    return Listening(simulator, device);
  }
  if (op == "start-listening") {
    if (request.contains("device")) {
      simulator.StartListening(device);
    } else {
      simulator.Start();
    }
    return Listening(simulator, device);
  }
  // The waits block here; the server itself answers them without blocking.
  if (op == "wait-requests") {
    const bool reached = simulator.WaitForRequests(device, Count(request), Timeout(request));
    return {{"ok", true}, {"reached", reached}};
  }
  if (op == "wait-idle") return {{"ok", true}, {"idle", simulator.WaitForIdle(device, Timeout(request))}};
  throw std::invalid_argument("unknown op \"" + op + "\"");
}

namespace detail {

class ControlSession;

class ControlImpl {
 public:
  ControlImpl(Simulator& sim, uint16_t requestedPort) : simulator(sim), wantedPort(requestedPort) {}

  void Start();
  void Stop();
  // Control thread only: the sessions in a wait, kept alive by this set until it ends.
  void AddWaiter(const std::shared_ptr<ControlSession>& session) { waiters.insert(session); }
  void RemoveWaiter(const std::shared_ptr<ControlSession>& session) { waiters.erase(session); }

  Simulator& simulator;
  const uint16_t wantedPort;
  mutable std::mutex mutex;  // port and sessions
  uint16_t port = 0;
  std::vector<std::weak_ptr<ControlSession>> sessions;

  std::mutex lifecycle;
  std::unique_ptr<asio::io_context> io;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor;
  std::thread thread;

 private:
  void Accept();
  // On the simulator's threads: one check of the waiters queued, however many changes come.
  void OnSimulatorChange();
  void CheckWaiters();

  std::set<std::shared_ptr<ControlSession>> waiters;  // control thread only
  std::atomic<bool> checkQueued{false};
  uint64_t listener = 0;
};

class ControlSession : public std::enable_shared_from_this<ControlSession> {
 public:
  ControlSession(ControlImpl& server, asio::ip::tcp::socket socket)
      : server_(server), socket_(std::move(socket)), timer_(socket_.get_executor()), input_(kMaxLine) {}

  void Start() {
    asio::error_code ignored;
    // Only the peer watch reads synchronously, and only what is there; the rest is async.
    socket_.non_blocking(true, ignored);
    ReadLine();
  }

  void Abort() {
    asio::error_code ignored;
    EndWait();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

  // A change in the simulator: answers the wait once its condition holds.
  void CheckWait() {
    if (waiting_ && reached_()) Answer(true);
  }

 private:
  void ReadLine() {
    asio::async_read_until(
        socket_, input_, '\n', [self = shared_from_this()](const asio::error_code& ec, std::size_t length) {
          if (ec) return self->Abort();
          std::string line(asio::buffers_begin(self->input_.data()),
                           asio::buffers_begin(self->input_.data()) + static_cast<std::ptrdiff_t>(length));
          self->input_.consume(length);
          self->OnLine(line);
        });
  }

  void OnLine(const std::string& line) {
    json request;
    try {
      request = json::parse(line);
      const std::string op = request.at("op").get<std::string>();
      if (op == "wait-requests") {
        const std::size_t device = DeviceOf(server_.simulator, request);
        const std::size_t count = Count(request);
        return Wait(SteadyClock::now() + Timeout(request), "reached", [this, device, count] {
          return server_.simulator.WaitForRequests(device, count, std::chrono::milliseconds(0));
        });
      }
      if (op == "wait-idle") {
        const std::size_t device = DeviceOf(server_.simulator, request);
        return Wait(SteadyClock::now() + Timeout(request), "idle", [this, device] {
          return server_.simulator.WaitForIdle(device, std::chrono::milliseconds(0));
        });
      }
      Respond(AnswerControlRequest(server_.simulator, request));
    } catch (const std::exception& e) {
      Respond({{"ok", false}, {"error", e.what()}});
    }
  }

  // Waits without holding up the control thread: the simulator's change listener checks the
  // condition again, the timer gives up at the deadline, and a watch on the socket ends the
  // wait as soon as the client goes, so its descriptor does not outlive it.
  void Wait(SteadyClock::time_point deadline, const char* key, std::function<bool()> reached) {
    if (reached()) return Respond({{"ok", true}, {key, true}});
    if (SteadyClock::now() >= deadline) return Respond({{"ok", true}, {key, false}});
    waiting_ = true;
    key_ = key;
    reached_ = std::move(reached);
    server_.AddWaiter(shared_from_this());
    timer_.expires_at(deadline);
    const uint64_t wait = ++wait_;
    timer_.async_wait([self = shared_from_this(), wait](const asio::error_code& ec) {
      if (ec || !self->waiting_ || wait != self->wait_) return;
      self->Answer(self->reached_());
    });
    WatchPeer(wait);
  }

  // The client sends nothing while it waits, unless it closes; what it does send stays in the
  // input for the next request. The socket is read dry before each wait for readiness, since a
  // close that came with the request line signals no readiness again.
  void WatchPeer(uint64_t wait) {
    if (!TakeInput()) return Abort();
    socket_.async_wait(asio::socket_base::wait_read,
                       [self = shared_from_this(), wait](const asio::error_code& ec) {
                         if (!self->waiting_ || wait != self->wait_) return;
                         if (ec) return self->Abort();
                         self->WatchPeer(wait);
                       });
  }

  // False once the peer has closed or reset the connection, or sent more than a line holds.
  bool TakeInput() {
    for (;;) {
      const std::size_t room = input_.max_size() - input_.size();
      if (room == 0) return false;
      asio::error_code ec;
      const std::size_t length = socket_.read_some(input_.prepare(std::min<std::size_t>(room, 4096)), ec);
      if (ec == asio::error::would_block || ec == asio::error::try_again) return true;
      if (ec) return false;
      input_.commit(length);
    }
  }

  void Answer(bool reached) {
    const char* key = key_;
    EndWait();
    Respond({{"ok", true}, {key, reached}});
  }

  void EndWait() {
    if (!waiting_) return;
    waiting_ = false;
    ++wait_;
    reached_ = nullptr;
    asio::error_code ignored;
    timer_.cancel();
    // Nothing but the watch is outstanding in a wait; the next read takes over from it.
    socket_.cancel(ignored);
    server_.RemoveWaiter(shared_from_this());
  }

  void Respond(const json& response) {
    // Texts are hex or escaped already, but an error message may quote a caller's bytes.
    output_ = response.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    asio::async_write(socket_, asio::buffer(output_),
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                        if (ec) return self->Abort();
                        self->ReadLine();
                      });
  }

  ControlImpl& server_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;
  asio::streambuf input_;
  std::string output_;
  bool waiting_ = false;
  const char* key_ = nullptr;
  std::function<bool()> reached_;
  uint64_t wait_ = 0;  // which wait the timer and the peer watch belong to
};

void ControlImpl::Start() {
  std::lock_guard<std::mutex> guard(lifecycle);
  if (thread.joinable()) return;
  io = std::make_unique<asio::io_context>(1);
  acceptor = std::make_unique<asio::ip::tcp::acceptor>(*io);
  // Loopback only, like the device itself: the channel changes the device at will.
  const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), wantedPort);
  asio::error_code ec;
  acceptor->open(endpoint.protocol(), ec);
  if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor->bind(endpoint, ec);
  if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    acceptor.reset();
    io.reset();
    throw std::runtime_error("napi-sim: cannot listen for control on 127.0.0.1:" +
                             std::to_string(wantedPort) + ": " + ec.message());
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    port = acceptor->local_endpoint().port();
  }
  Accept();
  listener = simulator.AddChangeListener([this] { OnSimulatorChange(); });
  thread = std::thread([this] { io->run(); });
}

void ControlImpl::OnSimulatorChange() {
  if (checkQueued.exchange(true)) return;
  asio::post(*io, [this] {
    // Cleared first: a change while the waiters are checked queues another check.
    checkQueued = false;
    CheckWaiters();
  });
}

void ControlImpl::CheckWaiters() {
  // A copy: an answered waiter leaves the set.
  const std::vector<std::shared_ptr<ControlSession>> now(waiters.begin(), waiters.end());
  for (const auto& session : now) session->CheckWait();
}

void ControlImpl::Accept() {
  acceptor->async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
    if (!ec) {
      asio::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      auto session = std::make_shared<ControlSession>(*this, std::move(socket));
      {
        std::lock_guard<std::mutex> lock(mutex);
        sessions.erase(
            std::remove_if(sessions.begin(), sessions.end(),
                           [](const std::weak_ptr<ControlSession>& weak) { return weak.expired(); }),
            sessions.end());
        sessions.push_back(session);
      }
      session->Start();
    }
    Accept();
  });
}

void ControlImpl::Stop() {
  std::lock_guard<std::mutex> guard(lifecycle);
  if (!thread.joinable()) return;
  // No change may queue work on the context from here on.
  simulator.RemoveChangeListener(listener);
  std::promise<void> closed;
  asio::post(*io, [this, &closed] {
    asio::error_code ignored;
    acceptor->close(ignored);
    std::vector<std::shared_ptr<ControlSession>> open;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (const auto& weak : sessions) {
        if (auto session = weak.lock()) open.push_back(std::move(session));
      }
      sessions.clear();
    }
    for (const auto& session : open) session->Abort();
    waiters.clear();
    closed.set_value();
  });
  // A request being answered (a reset, a stop) finishes first; then the thread winds down.
  closed.get_future().wait_for(std::chrono::seconds(10));
  io->stop();
  thread.join();
  io->restart();
  io->poll();
  waiters.clear();
  checkQueued = false;
  acceptor.reset();
  io.reset();
}

}  // namespace detail

ControlServer::ControlServer(Simulator& simulator, uint16_t port)
    : impl_(std::make_unique<detail::ControlImpl>(simulator, port)) {}

ControlServer::~ControlServer() { Stop(); }

void ControlServer::Start() { impl_->Start(); }

void ControlServer::Stop() { impl_->Stop(); }

uint16_t ControlServer::Port() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->port;
}

}  // namespace napisim
