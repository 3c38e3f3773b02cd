// The server around the device: concurrency, shutdown, addresses, state dump and log.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

TEST(ServerTest, ManyConcurrentConnectionsAreAllServed) {
  Simulator sim;
  sim.Start();
  constexpr int kClients = 32;
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      RawClient client(sim.Port());
      if (!client.Login()) return;
      if (client.Call(70, "-p " + std::to_string(i) + " -b " + std::to_string(i + 1)) != kSuccess) return;
      client.Send(7, "-p 1");
      const auto reply = client.Receive();
      if (reply && reply->text == "-p 1 -b 9600") ++good;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, kClients);

  ASSERT_TRUE(sim.WaitForIdle(2000ms));
  const ConnectionStats stats = sim.Stats();
  EXPECT_EQ(stats.accepted, static_cast<std::size_t>(kClients));
  EXPECT_EQ(stats.closedByPeer, static_cast<std::size_t>(kClients));
  EXPECT_EQ(stats.open, 0u);
  const DeviceState state = sim.State();
  ASSERT_EQ(state.portSettings.size(), static_cast<std::size_t>(kClients));
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(state.portSettings.at(i), i + 1);
}

TEST(ServerTest, StopDoesNotWaitForSilencedOrDelayedConnections) {
  Simulator sim;
  sim.Start();
  sim.SetFault(9, Fault::Delay(30000ms));
  RawClient silenced(sim.Port());
  ASSERT_TRUE(silenced.Login());
  silenced.Send(8, "");
  RawClient delayed(sim.Port());
  ASSERT_TRUE(delayed.Login());
  delayed.Send(9, "");
  RawClient idle(sim.Port());
  ASSERT_TRUE(sim.WaitForRequests(4, 1000ms));

  const auto start = std::chrono::steady_clock::now();
  sim.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
  EXPECT_TRUE(silenced.WaitClosed());
  EXPECT_TRUE(delayed.WaitClosed());
  EXPECT_TRUE(idle.WaitClosed());
  EXPECT_EQ(sim.Stats().open, 0u);
  sim.Stop();  // a second Stop is harmless
}

TEST(ServerTest, RestartsAfterStop) {
  Simulator sim;
  sim.Start();
  sim.Stop();
  sim.Start();
  RawClient client(sim.Port());
  EXPECT_TRUE(client.Login());
}

TEST(ServerTest, RefusesAddressesOutsideLoopback) {
  for (const std::string address : {"192.0.2.10", "0.0.0.0", "not-an-address"}) {
    Options options;
    options.address = address;
    Simulator sim(options);
    EXPECT_THROW(sim.Start(), std::runtime_error) << address;
  }
}

TEST(ServerTest, OptionsSetAccountsAndVideoPorts) {
  Options options;
  options.accounts = {{"viewer", "pw"}};
  options.videoPorts = 1;
  Simulator sim(options);
  sim.Start();
  RawClient client(sim.Port());
  EXPECT_EQ(client.Call(45, "-u admin -p admin"), kUnknownUser);
  ASSERT_TRUE(client.Login("viewer", "pw"));
  EXPECT_EQ(client.Call(32, "-p 0"), kSuccess);
  EXPECT_EQ(client.Call(32, "-p 1"), kWrongVideoPort);
}

TEST(ServerTest, StateJsonSurvivesNonUtf8Captions) {
  Simulator sim;
  sim.Start();
  RawClient client(sim.Port());
  ASSERT_TRUE(client.Login());
  EXPECT_EQ(client.Call(25, "-p 0 -g 1 -l 2 -w caf\xE9 \xC3\xA9"), kSuccess);
  EXPECT_EQ(sim.State().videoPorts[0].overlay.caption, "caf\xE9 \xC3\xA9");

  const nlohmann::json json = sim.StateJson();
  EXPECT_NO_THROW((void)json.dump());
  EXPECT_EQ(json["videoPorts"][0]["overlay"]["caption"], "caf\\xE9 \xC3\xA9");
  EXPECT_EQ(json["network"]["ip"], "192.0.2.10");

  // Sequences that look like UTF-8 but are not (found by fuzzing): a surrogate, an overlong
  // form, a code point past U+10FFFF.
  EXPECT_EQ(client.Call(25, "-p 1 -g 1 -l 2 -w a\xED\xA3\xA3 \xE0\x80\xAF \xF4\x90\x80\x80 \xE4\xB8\xAD"),
            kSuccess);
  const nlohmann::json odd = sim.StateJson();
  EXPECT_NO_THROW((void)odd.dump());
  EXPECT_EQ(odd["videoPorts"][1]["overlay"]["caption"],
            "a\\xED\\xA3\\xA3 \\xE0\\x80\\xAF \\xF4\\x90\\x80\\x80 \xE4\xB8\xAD");
  EXPECT_EQ(odd.get<DeviceState>().videoPorts[1].overlay.caption, sim.State().videoPorts[1].overlay.caption);
  EXPECT_EQ(json["serialBaud"]["1"], 9600);
}

TEST(ServerTest, LogHasOneLinePerRequest) {
  std::ostringstream log;
  Options options;
  options.log = true;
  options.logStream = &log;
  Simulator sim(options);
  sim.Start();
  {
    RawClient client(sim.Port());
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(client.Call(32, "-p 9"), kWrongVideoPort);
  }
  sim.Stop();
  const std::string text = log.str();
  EXPECT_NE(text.find("command 45 text \"-u admin -p admin\" status 0"), std::string::npos) << text;
  EXPECT_NE(text.find("command 32 text \"-p 9\" status 5"), std::string::npos) << text;
}

}  // namespace
}  // namespace napisim::test
