// A simulator that plays many devices: each one its own port, state, faults, log and counts.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>
#include <string>

#include "RawClient.h"
#include "napisim/ControlJson.h"
#include "napisim/ControlServer.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

Options Fleet(int devices) {
  Options options;
  options.devices = devices;
  return options;
}

TEST(FleetTest, DevicesAreIndependent) {
  Simulator sim(Fleet(3));
  sim.Start();
  ASSERT_EQ(sim.DeviceCount(), 3u);
  EXPECT_EQ(sim.Port(), sim.Port(0));
  EXPECT_EQ((std::set<uint16_t>{sim.Port(0), sim.Port(1), sim.Port(2)}).size(), 3u);

  sim.SetFault(2, 32, Fault::WithStatus(kVersionConflict));
  for (std::size_t device = 0; device < 3; ++device) {
    RawClient client(sim.Port(device));
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(client.Call(31, "-p 0 -b " + std::to_string(1000 + device)), kSuccess);
    EXPECT_EQ(client.Call(32, "-p 0"), device == 2 ? kVersionConflict : kSuccess) << device;
  }
  for (std::size_t device = 0; device < 3; ++device) {
    EXPECT_EQ(sim.State(device).videoPorts[0].encoder.bitrate, static_cast<int>(1000 + device));
    ASSERT_EQ(sim.Requests(device).size(), 3u) << device;
    EXPECT_EQ(sim.Requests(device)[1].text, "-p 0 -b " + std::to_string(1000 + device));
    EXPECT_TRUE(sim.WaitForIdle(device, 2000ms));
    EXPECT_EQ(sim.Stats(device).accepted, 1u);
    EXPECT_EQ(sim.StateJson(device)["videoPorts"][0]["encoder"]["bitrate"], 1000 + device);
  }

  sim.UpdateState(1, [](DeviceState& state) { state.network.ip = "192.0.2.99"; });
  EXPECT_EQ(sim.State(0).network.ip, "192.0.2.10");
  sim.ClearFaults(2);
  sim.ClearRequests(1);
  EXPECT_TRUE(sim.Requests(1).empty());
  EXPECT_EQ(sim.Requests(0).size(), 3u);
  sim.Reset();
  EXPECT_EQ(sim.State(2).videoPorts[0].encoder.bitrate, 512) << "reset covers every device";

  EXPECT_THROW(sim.Port(3), std::out_of_range);
  EXPECT_EQ(sim.RequestLog(1).bound, 4096u / 3) << "the devices share the log";
  EXPECT_THROW(sim.SetFault(3, 32, Fault::Close()), std::out_of_range);
}

TEST(FleetTest, GivenPortCountsUpFromIt) {
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 20; ++attempt) {
    Options options = Fleet(4);
    options.port = static_cast<uint16_t>(std::uniform_int_distribution<int>(20000, 60000)(random));
    Simulator sim(options);
    try {
      sim.Start();
    } catch (const std::runtime_error&) {
      continue;  // one of the four ports is taken; try elsewhere
    }
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(sim.Port(i), options.port + i);
    RawClient client(sim.Port(3));
    EXPECT_TRUE(client.Login());
    return;
  }
  FAIL() << "no four free ports in a row";
}

// A fleet whose later port is taken fails to start; it must unwind what it opened, start
// again once the port is free, and be destroyed cleanly either way.
TEST(FleetTest, AFailedStartUnwindsAndCanBeRetried) {
  Simulator holder(Fleet(1));
  holder.Start();
  const uint16_t taken = holder.Port();
  if (taken < 2) GTEST_SKIP() << "port " << taken << " has no room below it";

  Options options = Fleet(2);
  options.port = static_cast<uint16_t>(taken - 1);
  Simulator sim(options);
  bool failed = false;
  try {
    sim.Start();
  } catch (const std::runtime_error&) {
    failed = true;
  }
  if (!failed) GTEST_SKIP() << "port " << taken << " was reusable here";
  holder.Stop();
  try {
    sim.Start();
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "port " << options.port << " was taken by someone else meanwhile";
  }
  RawClient client(sim.Port(1));
  EXPECT_TRUE(client.Login());
}

TEST(FleetTest, PortsPastTheLastOneAreRefused) {
  Options options = Fleet(3);
  options.port = 65534;
  Simulator sim(options);
  EXPECT_THROW(sim.Start(), std::runtime_error);
}

TEST(FleetTest, ControlChannelAddressesADeviceByIndex) {
  Simulator sim(Fleet(2));
  sim.Start();
  const nlohmann::json fault = Fault::WithStatus(kWrongPassword);
  EXPECT_EQ(AnswerControlRequest(
                sim, {{"op", "set-fault"}, {"device", 1}, {"command", 45}, {"fault", fault}})["ok"],
            true);
  RawClient first(sim.Port(0));
  EXPECT_TRUE(first.Login());
  RawClient second(sim.Port(1));
  EXPECT_EQ(second.Call(45, "-u admin -p admin"), kWrongPassword);

  const auto devices = AnswerControlRequest(sim, {{"op", "devices"}});
  EXPECT_EQ(devices["count"], 2);
  EXPECT_EQ(devices["ports"][1], sim.Port(1));
  EXPECT_EQ(AnswerControlRequest(sim, {{"op", "port"}, {"device", 1}})["port"], sim.Port(1));
  const auto requests = AnswerControlRequest(sim, {{"op", "requests"}, {"device", 1}});
  ASSERT_EQ(requests["requests"].size(), 1u);
  EXPECT_EQ(requests["requests"][0]["connection"], 2) << "connection numbers count across devices";
  EXPECT_THROW(AnswerControlRequest(sim, {{"op", "stats"}, {"device", 2}}), std::out_of_range);
  EXPECT_THROW(AnswerControlRequest(sim, {{"op", "stats"}, {"device", -1}}), std::out_of_range);
}

// One network thread, a listener per device: a thousand devices need only descriptors.
TEST(FleetTest, AThousandDevicesOnOneThread) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 1200) GTEST_SKIP() << "descriptor limit " << limit.rlim_max << " is too small";
  limit.rlim_cur = limit.rlim_max;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);

  Simulator sim(Fleet(1000));
  sim.Start();
  for (const std::size_t device : {0u, 499u, 999u}) {
    RawClient client(sim.Port(device));
    ASSERT_TRUE(client.Login()) << device;
    EXPECT_EQ(client.Call(70, "-p 1 -b " + std::to_string(device % 256)), kSuccess);
  }
  EXPECT_EQ(sim.State(999).portSettings.at(1), 999 % 256);
  EXPECT_TRUE(sim.State(998).portSettings.empty());
  sim.Stop();
}

}  // namespace
}  // namespace napisim::test
