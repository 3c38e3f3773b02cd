// The control channel: what a test program in another process (the Windows build under Wine)
// relies on to drive the simulator as the in-process tests do.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "RawClient.h"
#include "napisim/ControlJson.h"
#include "napisim/ControlServer.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

using nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

// One JSON line out, one back.
class LineClient {
 public:
  explicit LineClient(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect to the control port");
    }
  }
  ~LineClient() { ::close(fd_); }

  json Raw(const std::string& line) {
    const std::string out = line + "\n";
    if (::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
      throw std::runtime_error("send failed");
    }
    return Next();
  }
  json Call(const json& request) { return Raw(request.dump()); }

  // The next response line.
  json Next() {
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
      char buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) throw std::runtime_error("control connection closed");
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    json response = json::parse(pending_.substr(0, end));
    pending_.erase(0, end + 1);
    return response;
  }

 private:
  int fd_ = -1;
  std::string pending_;
};

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.Start();
    control_.Start();
  }

  Simulator sim_;
  ControlServer control_{sim_};
  LineClient Client() { return LineClient(control_.Port()); }
};

TEST_F(ControlTest, FaultsSetThroughTheChannelShapeTheReplies) {
  auto control = Client();
  Fault once = Fault::WithText(std::string("a\0\xff", 3), 1);
  EXPECT_EQ(control.Call({{"op", "set-fault"}, {"command", 60}, {"fault", once}})["ok"], true);
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  client.Send(60, "-p 0 -c 12");
  auto reply = client.Receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->text, std::string("a\0\xff", 3));
  EXPECT_EQ(client.Call(60, "-p 0 -c 12"), kSuccess);  // used up

  // A short hand-written fault takes the defaults for what it leaves out.
  control.Call({{"op", "set-fault"}, {"command", 60}, {"fault", {{"kind", "status"}, {"status", 7}}}});
  EXPECT_EQ(client.Call(60, "-p 0 -c 12"), kWrongPassword);
  EXPECT_EQ(client.Call(60, "-p 0 -c 12"), kWrongPassword);
  EXPECT_EQ(control.Call({{"op", "clear-faults"}})["ok"], true);
  EXPECT_EQ(client.Call(60, "-p 0 -c 12"), kSuccess);
}

TEST_F(ControlTest, RequestsComeBackByteForByte) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  client.Send(25, "-p 0 -g 1 -l 2 -w \xE9\\x41", true);
  ASSERT_TRUE(client.Receive());
  client.SendBytes(RequestHeader(99, 0, 60));  // refused header
  ASSERT_TRUE(sim_.WaitForRequests(3, 2000ms));

  auto control = Client();
  const auto remote = control.Call({{"op", "requests"}})["requests"].get<std::vector<RecordedRequest>>();
  const auto local = sim_.Requests();
  ASSERT_EQ(remote.size(), local.size());
  for (std::size_t i = 0; i < local.size(); ++i) {
    EXPECT_EQ(remote[i].command, local[i].command) << i;
    EXPECT_EQ(remote[i].textLength, local[i].textLength) << i;
    EXPECT_EQ(remote[i].text, local[i].text) << i;
    EXPECT_EQ(remote[i].raw, local[i].raw) << i;
    EXPECT_EQ(remote[i].connection, local[i].connection) << i;
    EXPECT_EQ(remote[i].badHeader, local[i].badHeader) << i;
  }
  EXPECT_EQ(control.Call({{"op", "clear-requests"}})["ok"], true);
  EXPECT_TRUE(sim_.Requests().empty());
}

TEST_F(ControlTest, StateReadsBackExactlyThroughJson) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  ASSERT_EQ(client.Call(25, "-p 1 -g 1 -l 3 -w caf\xE9\\x41\\"), kSuccess);
  ASSERT_EQ(client.Call(70, "-p 12 -b 200"), kSuccess);
  ASSERT_EQ(client.Call(6, "-p 2 -b 4800"), kSuccess);

  auto control = Client();
  const DeviceState remote = control.Call({{"op", "state"}})["state"].get<DeviceState>();
  const DeviceState local = sim_.State();
  EXPECT_EQ(remote.videoPorts[1].overlay.caption, "caf\xE9\\x41\\");
  EXPECT_EQ(remote.portSettings, local.portSettings);
  EXPECT_EQ(remote.serialBaud, local.serialBaud);
  // Every field: what the state writes, read back, writes the same again.
  EXPECT_EQ(json(remote), json(local));
}

TEST_F(ControlTest, WaitsAnswerOnceReachedOrAtTheirTimeOut) {
  auto control = Client();
  auto start = SteadyClock::now();
  EXPECT_EQ(control.Call({{"op", "wait-requests"}, {"count", 1}, {"timeoutMs", 100}})["reached"], false);
  EXPECT_GE(SteadyClock::now() - start, 100ms);

  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  EXPECT_EQ(control.Call({{"op", "wait-idle"}, {"timeoutMs", 50}})["idle"], false);
  std::thread later([&] {
    std::this_thread::sleep_for(200ms);
    client.Call(60, "-p 0 -c 12");
  });
  // While one connection waits, another is answered.
  std::thread other([&] {
    auto second = Client();
    const auto asked = SteadyClock::now();
    EXPECT_EQ(second.Call({{"op", "stats"}})["stats"]["open"], 1);
    EXPECT_LT(SteadyClock::now() - asked, 150ms);
  });
  start = SteadyClock::now();
  EXPECT_EQ(control.Call({{"op", "wait-requests"}, {"count", 2}, {"timeoutMs", 5000}})["reached"], true);
  EXPECT_LT(SteadyClock::now() - start, 2000ms);
  later.join();
  other.join();
}

TEST_F(ControlTest, ARequestSentDuringAWaitIsAnsweredAfterIt) {
  auto control = Client();
  std::thread later([&] {
    std::this_thread::sleep_for(200ms);
    RawClient client(sim_.Port());
    client.Login();
  });
  // Both lines at once: the second arrives while the first waits, and must outlive the watch
  // that looks for the client going away.
  const json wait = {{"op", "wait-requests"}, {"count", 1}, {"timeoutMs", 5000}};
  EXPECT_EQ(control.Raw(wait.dump() + "\n" + json{{"op", "devices"}}.dump())["reached"], true);
  EXPECT_EQ(control.Next()["count"], 1);
  later.join();
}

TEST_F(ControlTest, WaitIdleSeesTheLastConnectionClose) {
  auto control = Client();
  auto client = std::make_unique<RawClient>(sim_.Port());
  ASSERT_TRUE(client->Login());
  std::thread closer([&] {
    std::this_thread::sleep_for(100ms);
    client.reset();
  });
  EXPECT_EQ(control.Call({{"op", "wait-idle"}, {"timeoutMs", 3000}})["idle"], true);
  closer.join();
}

TEST_F(ControlTest, ResetGivesANewDeviceAndDropsOpenConnections) {
  sim_.SetFault(60, Fault::WithStatus(3));
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  ASSERT_EQ(client.Call(31, "-p 0 -b 1024"), kSuccess);

  auto control = Client();
  const uint64_t before = sim_.Requests().back().connection;
  EXPECT_EQ(control.Call({{"op", "reset"}})["ok"], true);
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_EQ(sim_.State().videoPorts[0].encoder.bitrate, 512);
  EXPECT_TRUE(sim_.Requests().empty());
  const ConnectionStats stats = control.Call({{"op", "stats"}})["stats"].get<ConnectionStats>();
  EXPECT_EQ(stats.accepted, 0u);
  EXPECT_EQ(stats.open, 0u);
  EXPECT_EQ(stats.closedByDevice + stats.closedByPeer, 0u);

  RawClient next(sim_.Port());
  ASSERT_TRUE(next.Login());
  EXPECT_EQ(next.Call(60, "-p 0 -c 12"), kSuccess);  // the fault went too
  EXPECT_GT(sim_.Requests().front().connection, before);

  // The options a test's device was made with: its accounts and video ports.
  control.Call(
      {{"op", "reset"}, {"accounts", {{{"user", "viewer"}, {"password", "pw"}}}}, {"videoPorts", 1}});
  RawClient third(sim_.Port());
  EXPECT_EQ(third.Call(45, "-u admin -p admin"), kUnknownUser);
  ASSERT_TRUE(third.Login("viewer", "pw"));
  EXPECT_EQ(third.Call(32, "-p 0"), kSuccess);
  EXPECT_EQ(third.Call(32, "-p 1"), kWrongVideoPort);
}

TEST_F(ControlTest, ListeningStopsAndStartsAgain) {
  auto control = Client();
  const uint16_t port = sim_.Port();
  EXPECT_EQ(control.Call({{"op", "port"}}), json({{"ok", true}, {"port", port}, {"listening", true}}));
  EXPECT_EQ(control.Call({{"op", "stop-listening"}})["listening"], false);
  EXPECT_THROW(RawClient{port}, std::runtime_error);
  const json started = control.Call({{"op", "start-listening"}});
  EXPECT_EQ(started["listening"], true);
  EXPECT_EQ(started["port"], port) << "a restarted device moved";
  RawClient client(port);
  EXPECT_TRUE(client.Login());
}

// One device of a fleet killed and revived: its connections dropped and its port refused while
// the others serve on, then the same port again; without "device", all of them.
TEST(ControlFleetTest, ListeningStopsAndStartsOneDeviceAlone) {
  Options options;
  options.devices = 3;
  Simulator sim(options);
  sim.Start();
  ControlServer server(sim);
  server.Start();
  LineClient control(server.Port());
  const uint16_t port = sim.Port(1);
  RawClient open(port);
  ASSERT_TRUE(open.Login());

  const json stopped = control.Call({{"op", "stop-listening"}, {"device", 1}});
  EXPECT_EQ(stopped, json({{"ok", true}, {"port", port}, {"listening", false}}));
  EXPECT_TRUE(open.WaitClosed());
  EXPECT_THROW(RawClient{port}, std::runtime_error);
  for (std::size_t other : {0u, 2u}) {
    EXPECT_EQ(control.Call({{"op", "port"}, {"device", other}})["listening"], true) << other;
    RawClient client(sim.Port(other));
    EXPECT_TRUE(client.Login()) << other;
  }

  const json started = control.Call({{"op", "start-listening"}, {"device", 1}});
  EXPECT_EQ(started, json({{"ok", true}, {"port", port}, {"listening", true}}));
  RawClient revived(port);
  EXPECT_TRUE(revived.Login());
  EXPECT_EQ(control.Call({{"op", "start-listening"}, {"device", 1}})["listening"], true) << "twice is once";

  // Without a device: every one stops, and every one comes back where it was.
  const uint16_t last = sim.Port(2);
  EXPECT_EQ(control.Call({{"op", "stop-listening"}})["listening"], false);
  EXPECT_EQ(control.Call({{"op", "port"}, {"device", 2}})["listening"], false);
  EXPECT_THROW(RawClient{last}, std::runtime_error);
  EXPECT_EQ(control.Call({{"op", "start-listening"}, {"device", 2}})["ok"], false) << "stopped as a whole";
  EXPECT_EQ(control.Call({{"op", "start-listening"}})["listening"], true);
  RawClient back(last);
  EXPECT_TRUE(back.Login());
  EXPECT_EQ(sim.Port(2), last);
}

TEST_F(ControlTest, MalformedRequestsAreRefusedAndTheChannelStaysUsable) {
  auto control = Client();
  for (const std::string line :
       {"not json", R"({"no":"op"})", R"({"op":"bogus"})", R"({"op":"set-fault","command":60})",
        R"({"op":"set-fault","command":60,"fault":{"kind":"sideways"}})",
        R"({"op":"set-fault","command":60,"fault":{"kind":"raw","bytes":"abc"}})",
        R"({"op":"wait-requests","count":-1,"timeoutMs":10})"}) {
    const json response = control.Raw(line);
    EXPECT_EQ(response["ok"], false) << line;
    EXPECT_FALSE(response.value("error", std::string()).empty()) << line;
  }
  EXPECT_EQ(control.Call({{"op", "port"}})["ok"], true);
}

// Numbers were coerced: 1e30 ms waited 0 ms, -7 video ports answered ok, a delay near the top of
// the 64-bit range overflowed on its way to nanoseconds. Each is refused with its field named,
// and nothing of the request is applied.
TEST_F(ControlTest, NumbersOutOfRangeAreRefusedWithTheirFieldAndNothingApplied) {
  auto control = Client();
  const struct {
    std::string line;
    std::string field;
  } rows[] = {
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":7,"delayMs":9223372036854775807}})",
       "delayMs"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":7,"gapMs":1e30}})", "gapMs"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":7,"delayMs":-1}})", "delayMs"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":1099511627776}})", "status"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":7,"remaining":4294967296}})",
       "remaining"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"truncate","truncateTo":1.5}})", "truncateTo"},
      {R"({"op":"set-fault","command":45,"fault":{"kind":"status","status":7,"splitAfter":-3}})",
       "splitAfter"},
      {R"({"op":"set-fault","command":1e20,"fault":{"kind":"status","status":7}})", "command"},
      {R"({"op":"set-fault","command":"45","fault":{"kind":"status","status":7}})", "command"},
      {R"({"op":"reset","videoPorts":1000000})", "videoPorts"},
      {R"({"op":"reset","videoPorts":-7,"accounts":[]})", "videoPorts"},
      {R"({"op":"wait-requests","count":1,"timeoutMs":1e30})", "timeoutMs"},
      {R"({"op":"wait-requests","count":1.5,"timeoutMs":10})", "count"},
      {R"({"op":"wait-idle","timeoutMs":3600000})", "timeoutMs"},
      {R"({"op":"state","device":0.5})", "device"},
      {R"({"op":"state","device":-1})", "no device -1"},
  };
  for (const auto& row : rows) {
    const json response = control.Raw(row.line);
    EXPECT_EQ(response["ok"], false) << row.line;
    EXPECT_NE(response.value("error", std::string()).find(row.field), std::string::npos)
        << row.line << " -> " << response.dump();
  }
  // No fault on the login, the accounts and the four video ports as they were.
  RawClient client(sim_.Port());
  EXPECT_TRUE(client.Login());
  EXPECT_EQ(client.Call(32, "-p 3"), kSuccess);
}

TEST(ControlJsonTest, FaultsAndHexRoundTrip) {
  Fault fault = Fault::Raw(std::string("\0\x01\xfe", 3), true, 2);
  fault.delay = 250ms;
  fault.process = false;
  const Fault back = json(fault).get<Fault>();
  EXPECT_EQ(back.kind, Fault::Kind::kRaw);
  EXPECT_EQ(back.bytes, fault.bytes);
  EXPECT_EQ(back.delay, 250ms);
  EXPECT_TRUE(back.closeAfter);
  EXPECT_FALSE(back.process);
  EXPECT_EQ(back.remaining, 2);
  EXPECT_EQ(json(Fault::Truncate(7, false)).get<Fault>().truncateTo, 7u);

  EXPECT_EQ(ToHex(std::string("\0\x7f\x80\xff", 4)), "007f80ff");
  EXPECT_EQ(FromHex("007F80ff"), std::string("\0\x7f\x80\xff", 4));
  EXPECT_THROW(FromHex("0"), std::invalid_argument);
  EXPECT_THROW(FromHex("zz"), std::invalid_argument);
}

// The Windows build sets the delivery faults through JSON only: every field must cross.
TEST(ControlJsonTest, DeliveryFieldsRoundTripAndHandWrittenFormsRead) {
  Fault split = Fault::Split(10, 50ms, 3);
  split.kind = Fault::Kind::kStatus;
  split.status = kWrongPassword;
  split.trailingNul = true;
  const Fault back = json(split).get<Fault>();
  EXPECT_EQ(back.kind, Fault::Kind::kStatus);
  EXPECT_EQ(back.splitAfter, 10u);
  EXPECT_EQ(back.gap, 50ms);
  EXPECT_TRUE(back.trailingNul);
  EXPECT_FALSE(back.oneByteAtATime);
  EXPECT_TRUE(json(Fault::ByteByByte(5ms)).get<Fault>().oneByteAtATime);
  EXPECT_EQ(json(Fault::Reset()).get<Fault>().kind, Fault::Kind::kReset);

  const Fault written = json::parse(R"({"kind": "reset", "delayMs": 20})").get<Fault>();
  EXPECT_EQ(written.kind, Fault::Kind::kReset);
  EXPECT_EQ(written.delay, 20ms);
  EXPECT_EQ(json::parse(R"({"oneByteAtATime": true, "gapMs": 7})").get<Fault>().gap, 7ms);
}

TEST_F(ControlTest, RequestsReplySaysTheBoundAndWhatWasDropped) {
  auto control = Client();
  EXPECT_EQ(control.Call({{"op", "request-log"}, {"bound", 2}})["log"]["bound"], 2);
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  for (int i = 0; i < 3; ++i) ASSERT_EQ(client.Call(9, ""), kSuccess);
  const json reply = control.Call({{"op", "requests"}});
  EXPECT_EQ(reply["requests"].size(), 2u);
  EXPECT_EQ(reply["bound"], 2);
  EXPECT_EQ(reply["recorded"], 4);
  EXPECT_EQ(reply["dropped"], 2);
  EXPECT_EQ(control.Call({{"op", "request-log"}, {"bound", -1}})["ok"], false);
}

}  // namespace
}  // namespace napisim::test
