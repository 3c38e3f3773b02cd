// vmlctl as a user runs it: exit statuses, its JSON, and runs against a device it did not start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "napisim/Simulator.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

ToolRun Vmlctl(const std::vector<std::string>& args) {
  std::string command = VMLCTL_PATH;
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>&1";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), got);
  const int raw = pclose(pipe);
  if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  return run;
}

nlohmann::json Json(const ToolRun& run) { return nlohmann::json::parse(run.output); }

TEST(VmlctlTest, TourPassesEveryStepAgainstTheEmbeddedDevice) {
  const ToolRun run = Vmlctl({"tour"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("✗"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("✓ osd time"), std::string::npos) << run.output;
}

TEST(VmlctlTest, ReportsValuesAndResultCodes) {
  const ToolRun bitrate = Vmlctl({"--json", "get-bitrate"});
  ASSERT_EQ(bitrate.status, 0) << bitrate.output;
  const auto json = Json(bitrate);
  EXPECT_EQ(json["command"], "get-bitrate");
  EXPECT_EQ(json["ok"], true);
  EXPECT_EQ(json["values"]["bitrate"], 512);
  EXPECT_EQ(json["code"], 9);
  EXPECT_EQ(json["text"], "成功");

  // The device refuses the value with status 3, which the library reports as code 15.
  const ToolRun refused = Vmlctl({"set-bitrate", "99999"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("无效的参数"), std::string::npos) << refused.output;
  EXPECT_EQ(Json(Vmlctl({"--json", "set-bitrate", "99999"}))["code"], 15);

  // A video port the device does not have.
  const ToolRun wrongPort = Vmlctl({"--video-port", "9", "--json", "get-bitrate"});
  EXPECT_EQ(wrongPort.status, 1);
  EXPECT_EQ(Json(wrongPort)["code"], 14);
}

TEST(VmlctlTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Vmlctl({"no-such-command"}).status, 2);
  EXPECT_EQ(Vmlctl({"set-bitrate"}).status, 2);                 // missing value
  EXPECT_EQ(Vmlctl({"set-bitrate", "fast"}).status, 2);         // not a number
  EXPECT_EQ(Vmlctl({"osd", "set-time", "on", "9"}).status, 2);  // position is 1..8
  EXPECT_EQ(Vmlctl({"mask", "set", "maybe", "0", "0", "1", "1"}).status, 2);
  EXPECT_EQ(Vmlctl({"set-time", "2026-02-30 10:00"}).status, 2);
  EXPECT_EQ(Vmlctl({"--port", "4000", "get-bitrate"}).status, 2);  // --port needs --host
  EXPECT_EQ(Vmlctl({"--host", "127.0.0.1", "--port", "1", "tour"}).status, 2);
  EXPECT_EQ(Vmlctl({"ptz"}).status, 2);  // group without its action
  EXPECT_EQ(Vmlctl({"get-bitrate", "--help"}).status, 0);
}

// A device the tool did not start: it must reach it with --host/--port and must not mistake a
// transaction that never happened for a value of 0.
class ExternalDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { device.Start(); }

  ToolRun At(std::vector<std::string> args, const std::string& password = "admin") {
    std::vector<std::string> all = {"--host",     "127.0.0.1", "--port", std::to_string(device.Port()),
                                    "--password", password,    "--json"};
    all.insert(all.end(), args.begin(), args.end());
    return Vmlctl(all);
  }

  napisim::Simulator device;
};

TEST_F(ExternalDeviceTest, ReadsAndWritesThatDevice) {
  device.UpdateState([](napisim::DeviceState& s) { s.videoPorts[1].encoder.bitrate = 777; });
  const ToolRun bitrate = At({"--video-port", "1", "get-bitrate"});
  ASSERT_EQ(bitrate.status, 0) << bitrate.output;
  EXPECT_EQ(Json(bitrate)["values"]["bitrate"], 777);

  // Position 1 on the command line is the device's position 1.
  ASSERT_EQ(At({"osd", "set-caption", "on", "1", "North gate"}).status, 0);
  const auto overlay = device.State().videoPorts[0].overlay;
  EXPECT_EQ(overlay.captionPosition, 1);
  EXPECT_EQ(overlay.caption, "North gate");
}

TEST_F(ExternalDeviceTest, SetVideoSettingsChangesOnlyTheGivenValues) {
  device.UpdateState([](napisim::DeviceState& s) {
    s.videoPorts[0].picture.brightness = 42;
    s.videoPorts[0].encoder.frameRate = 12;
  });
  const ToolRun run = At({"set-video-settings", "--bitrate", "800", "--hue", "-10"});
  ASSERT_EQ(run.status, 0) << run.output;
  const auto port = device.State().videoPorts[0];
  EXPECT_EQ(port.encoder.bitrate, 800);
  EXPECT_EQ(port.picture.hue, -10);
  EXPECT_EQ(port.picture.brightness, 42);
  EXPECT_EQ(port.encoder.frameRate, 12);
}

TEST_F(ExternalDeviceTest, ZeroIsAValueOnlyWhenTheDeviceSaidSo) {
  // Device hue -128 is 0 on the getter's scale; brightness 0 is 0 too.
  device.UpdateState([](napisim::DeviceState& s) {
    s.videoPorts[0].picture.hue = -128;
    s.videoPorts[0].picture.brightness = 0;
  });
  const ToolRun hue = At({"get-hue"});
  EXPECT_EQ(hue.status, 0) << hue.output;
  EXPECT_EQ(Json(hue)["values"]["hue"], 0);
  EXPECT_EQ(At({"get-brightness"}).status, 0);

  // A refused login leaves the library's code untouched: the getter returns 0 and must fail.
  const ToolRun refused = At({"get-bitrate"}, "wrong");
  EXPECT_EQ(refused.status, 1) << refused.output;
  EXPECT_TRUE(Json(refused)["values"].empty());
  EXPECT_EQ(At({"mask", "get"}, "wrong").status, 1);

  device.Stop();
  EXPECT_EQ(At({"get-frame-rate"}).status, 1);
}

}  // namespace
