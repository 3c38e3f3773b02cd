// vmlctl as a user runs it: exit statuses, its JSON, and runs against a device it did not start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Commands.h"
#include "ToolRun.h"
#include "napisim/Simulator.h"

namespace {

using tooltest::ClosedPort;
using tooltest::Has;
using tooltest::Slurp;
using tooltest::ToolRun;

// Runs vmlctl; whileRunning gets the process id before the wait.
ToolRun Vmlctl(const std::vector<std::string>& args, const std::function<void(pid_t)>& whileRunning = {}) {
  return tooltest::RunTool(VMLCTL_PATH, args, whileRunning);
}

nlohmann::json Json(const ToolRun& run) { return nlohmann::json::parse(run.output); }

TEST(VmlctlTest, TourPassesEveryStepAgainstTheEmbeddedDevice) {
  const ToolRun run = Vmlctl({"tour"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(Has(run.output, "✗")) << run.output;
  EXPECT_NE(run.output.find("✓ osd clock-overlay"), std::string::npos) << run.output;
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
  EXPECT_TRUE(Has(refused.output, "device refused the request: status 3 (无效的参数)")) << refused.output;
  EXPECT_EQ(Json(Vmlctl({"--json", "set-bitrate", "99999"}))["code"], 15);

  // A video port the device does not have.
  const ToolRun wrongPort = Vmlctl({"--video-port", "9", "--json", "get-bitrate"});
  EXPECT_EQ(wrongPort.status, 1);
  EXPECT_EQ(Json(wrongPort)["code"], 14);
}

// Results nobody can read are no success: a closed standard output runs nothing, a full one
// fails the run; either way a line on standard error says so.
TEST(VmlctlTest, AnOutputThatCannotBeWrittenFailsTheRun) {
  const struct {
    const char* name;
    bool close;  // otherwise /dev/full
  } cases[] = {{"closed", true}, {"full", false}};
  for (const auto& c : cases) {
    char errPath[] = "/tmp/vmlctl-test-err-XXXXXX";
    const int err = mkstemp(errPath);
    std::vector<std::string> all = {VMLCTL_PATH, "get-bitrate"};
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (c.close) {
      posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    pid_t pid = -1;
    int raw = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    waitpid(pid, &raw, 0);
    posix_spawn_file_actions_destroy(&actions);
    close(err);
    const std::string errors = Slurp(errPath);
    unlink(errPath);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << c.name;
    EXPECT_TRUE(Has(errors, "standard output")) << c.name << ": " << errors;
  }
}

TEST(VmlctlTest, UsageErrorsExitWith64) {
  EXPECT_EQ(Vmlctl({"no-such-command"}).status, 64);
  EXPECT_EQ(Vmlctl({"set-bitrate"}).status, 64);                 // missing value
  EXPECT_EQ(Vmlctl({"set-bitrate", "fast"}).status, 64);         // not a number
  EXPECT_EQ(Vmlctl({"osd", "set-time", "on", "9"}).status, 64);  // position is 1..8
  EXPECT_EQ(Vmlctl({"mask", "set", "maybe", "0", "0", "1", "1"}).status, 64);
  EXPECT_EQ(Vmlctl({"set-time", "2026-02-30 10:00"}).status, 64);
  EXPECT_EQ(Vmlctl({"--port", "4000", "get-bitrate"}).status, 64);  // --port needs --host
  EXPECT_EQ(Vmlctl({"--host", "127.0.0.1", "--port", "1", "tour"}).status, 64);
  EXPECT_EQ(Vmlctl({"ptz"}).status, 64);  // group without its action
  EXPECT_EQ(Vmlctl({"get-bitrate", "--help"}).status, 0);
  EXPECT_EQ(Vmlctl({"--prots", "1", "get-bitrate"}).status, 64);  // a mistyped option
  EXPECT_EQ(Vmlctl({"config", "plan"}).status, 64);               // its FILE missing
  const ToolRun unreadable = Vmlctl({"config", "plan", "/nonexistent/cam.json"});
  EXPECT_EQ(unreadable.status, 64);
  EXPECT_TRUE(Has(unreadable.errors, "/nonexistent/cam.json: No such file or directory"))
      << unreadable.errors;
  // The help ends with the table a script branches on.
  EXPECT_TRUE(Has(Vmlctl({"--help"}).output, "64   usage error")) << Vmlctl({"--help"}).output;
}

// Documents whose sender chooses their size and depth: each refused, nothing crashes or grows.
TEST(VmlctlTest, HostileDocumentsAreRefusedWithoutCrashing) {
  char path[] = "/tmp/vmlctl-doc-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const struct {
    std::string text;
    const char* reason;
  } cases[] = {
      {std::string(100000, '[') + std::string(100000, ']'), "nests deeper"},
      {R"({"video_ports": {"0": {"caption": {"caption": ")" + std::string(50000, 'c') + R"("}}}})",
       "longer than 215 characters"},
      {R"({"serial": {"baud": 1e400}})", "out of range"},
  };
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::trunc) << c.text;
    const ToolRun run = Vmlctl({"config", "plan", path});
    EXPECT_EQ(run.status, 64) << c.reason;
    EXPECT_TRUE(Has(run.errors, c.reason)) << run.errors;
  }
  const ToolRun endless = Vmlctl({"config", "plan", "/dev/zero"});
  EXPECT_EQ(endless.status, 64);
  EXPECT_TRUE(Has(endless.errors, "the most a document may hold")) << endless.errors;
  std::remove(path);
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

  ToolRun Human(std::vector<std::string> args) {
    std::vector<std::string> all = {"--host", "127.0.0.1", "--port", std::to_string(device.Port())};
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

// Texts are UTF-8 on the command line and in the output, and the device's code page on the wire.
TEST_F(ExternalDeviceTest, TextsTravelInTheDevicesCodePage) {
  ASSERT_EQ(At({"osd", "set-caption", "on", "1", "南门 入口"}).status, 0);
  EXPECT_EQ(device.State().videoPorts[0].overlay.caption, "\xC4\xCF\xC3\xC5 \xC8\xEB\xBF\xDA");
  EXPECT_EQ(Json(At({"osd", "caption"}))["values"]["caption"], "南门 入口");

  // Bytes that are no text in the code page are shown as bytes, never as replacement characters.
  device.UpdateState([](napisim::DeviceState& s) { s.videoPorts[0].overlay.caption = "ok\xFF"; });
  EXPECT_EQ(Json(At({"osd", "caption"}))["values"]["caption"]["hex"], "6f6bff");

  device.ClearRequests();
  const ToolRun snowman = Human({"osd", "set-caption", "on", "1", "snow \u2603"});
  EXPECT_EQ(snowman.status, 1);
  EXPECT_TRUE(Has(snowman.output + snowman.errors, "cannot carry")) << snowman.output << snowman.errors;
  EXPECT_TRUE(device.Requests().empty());

  ASSERT_EQ(At({"--text-encoding", "utf-8", "osd", "set-caption", "on", "1", "南门"}).status, 0);
  EXPECT_EQ(device.State().videoPorts[0].overlay.caption, "南门");
  EXPECT_NE(At({"--text-encoding", "klingon", "osd", "caption"}).status, 0);
}

// The device would keep only "Gate" and the library would report success.
TEST_F(ExternalDeviceTest, TextsWithAHyphenAreArgumentErrorsAndNothingIsSent) {
  ASSERT_EQ(At({"osd", "set-caption", "on", "2", "Gate 1"}).status, 0);
  device.ClearRequests();
  const ToolRun caption = Human({"osd", "set-caption", "on", "2", "Gate-1 north"});
  EXPECT_EQ(caption.status, 64);
  EXPECT_TRUE(Has(caption.errors, "cannot hold '-'")) << caption.errors;
  EXPECT_EQ(At({"set-account", "op-1", "pw"}).status, 64);
  EXPECT_EQ(At({"set-param-t", "1-2", "0"}).status, 64);
  EXPECT_EQ(Vmlctl({"--host", "127.0.0.1", "--port", std::to_string(device.Port()), "--user", "ad-min",
                    "get-bitrate"})
                .status,
            64);
  EXPECT_TRUE(device.Requests().empty());
  EXPECT_EQ(device.State().videoPorts[0].overlay.caption, "Gate 1");
  // Commands 51 and 52 carry their texts as given.
  EXPECT_NE(At({"command51", "1", "x -b 5", "y", "0"}).status, 64);
  EXPECT_EQ(device.Requests().back().text, "-p 1 -t x -b 5 -a y -o 0");
}

// The device's clock as the library writes it: digits without padding, in UTC here.
std::pair<std::string, std::string> WireClock(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm f{};
  gmtime_r(&seconds, &f);
  return {std::to_string(f.tm_year + 1900) + std::to_string(f.tm_mon + 1) + std::to_string(f.tm_mday),
          std::to_string(f.tm_hour) + std::to_string(f.tm_min) + std::to_string(f.tm_sec)};
}

TEST_F(ExternalDeviceTest, SetClockNowSendsTheHostsClock) {
  const auto before = WireClock(std::chrono::system_clock::now());
  const ToolRun run = Human({"set-clock", "now", "--utc"});
  const auto after = WireClock(std::chrono::system_clock::now());
  ASSERT_EQ(run.status, 0) << run.output << run.errors;
  const std::pair<std::string, std::string> set = {device.State().clock.date, device.State().clock.time};
  EXPECT_TRUE(set == before || set == after) << set.first << " " << set.second;
  EXPECT_EQ(Human({"set-clock", "soon"}).status, 64);
  EXPECT_EQ(Human({"set-clock", "2026-01-02T03:04:05", "--utc"}).status, 0);  // a given time stays as given
  EXPECT_EQ(device.State().clock.time, "345");
}

TEST_F(ExternalDeviceTest, SetVideoSettingsChangesOnlyTheGivenValues) {
  device.UpdateState([](napisim::DeviceState& s) {
    s.videoPorts[0].picture.brightness = 42;
    s.videoPorts[0].encoder.frameRate = 12;
  });
  // Picture values on the single-value scale: hue 118 is device value -10.
  const ToolRun run = At({"--json", "set-video-settings", "--bitrate", "800", "--hue", "118"});
  ASSERT_EQ(run.status, 0) << run.output;
  const auto port = device.State().videoPorts[0];
  EXPECT_EQ(port.encoder.bitrate, 800);
  EXPECT_EQ(port.picture.hue, -10);
  EXPECT_EQ(port.picture.brightness, 42);
  EXPECT_EQ(port.encoder.frameRate, 12);
  EXPECT_EQ(Json(run)["values"]["hue"], 118);
  EXPECT_EQ(At({"set-video-settings", "--hue", "-10"}).status, 64);
  // The combined read and the single-value reads agree on every picture value.
  const auto all = Json(At({"--json", "video-settings"}))["values"];
  for (const char* name : {"brightness", "contrast", "saturation", "hue"}) {
    EXPECT_EQ(all[name], Json(At({"--json", std::string("get-") + name}))["values"][name]) << name;
  }
}

TEST(VmlctlTest, OldNamesStillRunButAreNotShown) {
  const std::string help = Vmlctl({"help-all"}).output;
  const std::pair<std::vector<std::string>, std::vector<std::string>> renamed[] = {
      {{"get-mask"}, {"get-subnet-mask"}},
      {{"mask", "get"}, {"privacy-mask", "get"}},
      {{"osd", "time"}, {"osd", "clock-overlay"}},
  };
  for (const auto& [old, current] : renamed) {
    std::vector<std::string> oldRun = {"--json"}, currentRun = {"--json"};
    oldRun.insert(oldRun.end(), old.begin(), old.end());
    currentRun.insert(currentRun.end(), current.begin(), current.end());
    const auto a = Json(Vmlctl(oldRun)), b = Json(Vmlctl(currentRun));
    EXPECT_EQ(a["command"], b["command"]);
    EXPECT_EQ(a["values"], b["values"]);
    auto line = [](const std::vector<std::string>& words) {
      std::string text = "vmlctl";
      for (const std::string& word : words) text += " " + word;
      return text + " [OPTIONS]";
    };
    EXPECT_FALSE(Has(help, line(old))) << line(old);
    EXPECT_TRUE(Has(help, line(current))) << line(current);
  }
  EXPECT_FALSE(Has(help, "set-time"));
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

TEST_F(ExternalDeviceTest, EachWayOfFailingHasItsOwnReason) {
  const std::string closed = std::to_string(ClosedPort());
  const ToolRun refused = Vmlctl({"--host", "127.0.0.1", "--port", closed, "get-bitrate"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.output, "failed: connection refused by 127.0.0.1:" + closed)) << refused.output;
  const auto refusedJson = Json(Vmlctl({"--host", "127.0.0.1", "--port", closed, "--json", "get-bitrate"}));
  EXPECT_EQ(refusedJson["outcome"]["stage"], "connect-refused");
  EXPECT_EQ(refusedJson["outcome"]["system_error"], ECONNREFUSED);
  // Through the trace relay the outcome says what the text says, as the relay met it.
  const auto tracedJson =
      Json(Vmlctl({"--trace", "--host", "127.0.0.1", "--port", closed, "--json", "get-bitrate"}));
  EXPECT_EQ(tracedJson["reason"], "connection refused by 127.0.0.1:" + closed);
  EXPECT_EQ(tracedJson["outcome"]["stage"], "connect-refused");

  const ToolRun password = Human({"--password", "wrong", "get-bitrate"});
  EXPECT_EQ(password.status, 1);
  EXPECT_TRUE(Has(password.output, "failed: login refused: status 7 (错误的口令)")) << password.output;
  const auto passwordJson = Json(At({"get-bitrate"}, "wrong"));
  EXPECT_EQ(passwordJson["outcome"]["stage"], "login-refused");
  EXPECT_EQ(passwordJson["outcome"]["status"], 7);
  EXPECT_EQ(passwordJson["outcome"]["exchange"], "login");
  // The protocol keeps the module's code on a refused login: it is not this run's, so not shown.
  EXPECT_FALSE(passwordJson.contains("code"));
  EXPECT_FALSE(passwordJson.contains("text"));
  EXPECT_FALSE(Has(password.output, "成功")) << password.output;
  EXPECT_FALSE(Has(refused.output, "[")) << refused.output;
  EXPECT_FALSE(refusedJson.contains("code"));

  device.SetFault(32, napisim::Fault::NoReply());
  const ToolRun silent = Human({"--timing", "get-bitrate"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_TRUE(Has(silent.output, "failed: no reply within 1 s")) << silent.output;
  EXPECT_TRUE(Has(silent.output, "time: ")) << silent.output;
  const auto silentJson = Json(At({"get-bitrate"}));
  EXPECT_EQ(silentJson["outcome"]["stage"], "reply-timed-out");
  EXPECT_EQ(silentJson["outcome"]["exchange"], "request");
  EXPECT_GE(silentJson["outcome"]["elapsed_us"].get<int64_t>(), 900000);

  device.SetFault(32, napisim::Fault::WithText("-f 25"));
  const ToolRun missing = Human({"get-bitrate"});
  EXPECT_TRUE(Has(missing.output, "failed: the reply has no value for b")) << missing.output;
  EXPECT_EQ(Json(At({"get-bitrate"}))["outcome"]["letter"], "b");

  device.ClearFaults();
  device.SetFault(napisim::kLoginCommand, napisim::Fault::Close());
  const ToolRun dropped = Human({"get-bitrate"});
  EXPECT_TRUE(Has(dropped.output, "the device closed the connection without a reply to the login"))
      << dropped.output;

  // A wrong port that reaches a web server: no wrong password, and no result text.
  device.SetFault(napisim::kLoginCommand, napisim::Fault::Raw("HTTP/1.1 400 Bad Request\r\n\r\n", true));
  const ToolRun web = Human({"get-bitrate"});
  EXPECT_TRUE(Has(web.output, "failed: the peer at 127.0.0.1:" + std::to_string(device.Port()) +
                                  " does not speak NAPI (reply magic 1347703880)\n"))
      << web.output;
  const auto webJson = Json(At({"get-bitrate"}));
  EXPECT_EQ(webJson["outcome"]["stage"], "not-napi-device");
  EXPECT_EQ(webJson["outcome"]["reply_magic"], 1347703880);
}

TEST(VmlctlTest, AddressesThatAreNoDottedQuadAreRefusedBeforeAnythingRuns) {
  for (const char* host : {"localhost", "camera-1.example", "127.1", "010.0.0.1", "1.2.3.256"}) {
    const ToolRun run = Vmlctl({"--host", host, "--port", "8000", "get-bitrate"});
    EXPECT_EQ(run.status, 64) << host;
    EXPECT_TRUE(Has(run.errors, "is not a dotted-quad IPv4 address")) << host << ": " << run.errors;
    EXPECT_TRUE(run.output.empty()) << run.output;
  }
  EXPECT_TRUE(Has(Vmlctl({"--host", "localhost", "get-bitrate"}).errors, "127.0.0.1"));
}

// Every subcommand prints one JSON object, whatever it does and whether it works.
TEST(VmlctlTest, EveryCommandPrintsValidJson) {
  for (const vmlctl::Entry& entry : vmlctl::Table()) {
    std::vector<std::string> args = {"--json"};
    std::istringstream path(entry.path);
    for (std::string word; path >> word;) args.push_back(word);
    for (const vmlctl::Param& param : entry.args) {
      if (param.option) continue;
      switch (param.type) {
        case vmlctl::ArgType::kInt:
          args.push_back(std::to_string(std::max<int64_t>(param.min, 1)));
          break;
        case vmlctl::ArgType::kText:
        case vmlctl::ArgType::kRawText:
          args.push_back("192.0.2.30");
          break;
        case vmlctl::ArgType::kSwitch:
          args.push_back("on");
          break;
        case vmlctl::ArgType::kDateTime:
          args.push_back("2026-01-02T03:04:05");
          break;
      }
    }
    const ToolRun run = Vmlctl(args);
    EXPECT_LE(run.status, 1) << entry.path << ": " << run.errors;
    nlohmann::json json;
    ASSERT_NO_THROW(json = Json(run)) << entry.path << ": " << run.output;
    EXPECT_EQ(json["command"], entry.path);
    EXPECT_EQ(json["ok"], run.status == 0) << entry.path;
  }
  const ToolRun tour = Vmlctl({"--json", "tour"});
  ASSERT_EQ(tour.status, 0) << tour.output;
  const auto tourJson = Json(tour);
  EXPECT_EQ(tourJson["ok"], true);
  EXPECT_EQ(tourJson["steps"].size(), tourJson["passed"].get<std::size_t>());
  EXPECT_NO_THROW(Json(Vmlctl({"--json", "state"})));
}

TEST(VmlctlTest, TraceShowsEveryRequestAndReplyWithItsHeader) {
  const ToolRun run = Vmlctl({"--trace", "ptz", "stop"});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(Has(run.output, "ok")) << run.output;
  EXPECT_FALSE(Has(run.output, "magic")) << "the trace belongs on stderr";
  EXPECT_TRUE(Has(run.errors, "→ request 33 bytes  magic 100  length 17  command 45  reserved 0"))
      << run.errors;
  EXPECT_TRUE(Has(run.errors, "text \"-u admin -p admin\"")) << run.errors;
  EXPECT_TRUE(Has(run.errors, "→ request 26 bytes  magic 100  length 10  command 60  reserved 0"))
      << run.errors;
  EXPECT_TRUE(Has(run.errors, "  0010  2d 70 20 30 20 2d 63 20 31 32")) << run.errors;
  // The reply's free fields are whatever the device wrote there.
  EXPECT_TRUE(Has(run.errors, "← reply 20 bytes  magic ")) << run.errors;
  EXPECT_TRUE(Has(run.errors, "  length 0  command ")) << run.errors;
  EXPECT_TRUE(Has(run.errors, "  status 0")) << run.errors;

  // Through the relay the library never meets the closed port itself; the reason must still be it.
  const std::string closed = std::to_string(ClosedPort());
  const ToolRun dead = Vmlctl({"--trace", "--json", "--host", "127.0.0.1", "--port", closed, "get-bitrate"});
  EXPECT_EQ(dead.status, 1);
  EXPECT_EQ(Json(dead)["reason"], "connection refused by 127.0.0.1:" + closed) << dead.output;
  EXPECT_TRUE(Has(dead.errors, "relay: connection refused by 127.0.0.1:" + closed)) << dead.errors;
}

// A fleet of simulated devices, a few of them dead in different ways.
class FleetTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kDevices = 20;
  static constexpr std::size_t kWrongPassword = 17, kClosed = 18, kSilent = 19;

  FleetTest() : fleet(Fleet()) {}

  static napisim::Options Fleet() {
    napisim::Options options;
    options.devices = static_cast<int>(kDevices);
    return options;
  }

  void SetUp() override {
    fleet.Start();
    closedPort = ClosedPort();
    std::ofstream out(inventory);
    out << "# a test fleet\nhost,port,user,password,video-port\n";
    for (std::size_t i = 0; i < kDevices; ++i) {
      const uint16_t port = i == kClosed ? closedPort : fleet.Port(i);
      out << "127.0.0.1," << port << ",admin," << (i == kWrongPassword ? "wrong" : "admin") << ",0\n";
    }
  }
  void TearDown() override { std::remove(inventory.c_str()); }

  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  napisim::Simulator fleet;
  uint16_t closedPort = 0;
  std::string inventory = "/tmp/vmlctl-fleet-" + std::to_string(getpid()) + ".csv";
};

TEST_F(FleetTest, ReportsEveryDeviceInInventoryOrderWithASummary) {
  fleet.SetFault(kSilent, 32, napisim::Fault::NoReply());
  const ToolRun run = Vmlctl({"--inventory", inventory, "--jobs", "4", "get-bitrate"});
  EXPECT_EQ(run.status, 1) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_EQ(lines.size(), kDevices + 1) << run.output;
  for (std::size_t i = 0; i < kDevices; ++i) {
    const uint16_t port = i == kClosed ? closedPort : fleet.Port(i);
    EXPECT_EQ(lines[i].rfind("127.0.0.1:" + std::to_string(port), 0), 0u) << lines[i];
  }
  EXPECT_TRUE(Has(lines[0], "ok: bitrate = 512")) << lines[0];
  EXPECT_TRUE(Has(lines[kWrongPassword], "login refused: status 7")) << lines[kWrongPassword];
  EXPECT_TRUE(Has(lines[kClosed], "connection refused")) << lines[kClosed];
  EXPECT_TRUE(Has(lines[kSilent], "no reply within 1 s")) << lines[kSilent];
  EXPECT_EQ(lines.back().rfind("20 devices: 17 succeeded, 3 failed (1 connection refused, 1 login refused, "
                               "1 no reply within 1 s); wall time ",
                               0),
            0u)
      << lines.back();
  for (std::size_t i = 0; i < kDevices; ++i) {
    if (i == kClosed) continue;
    EXPECT_EQ(fleet.Stats(i).accepted, 1u) << "device " << i << " is worked on once";
  }
}

TEST_F(FleetTest, JsonLinesCarryTheInventoryLineAndTheOutcome) {
  const ToolRun run = Vmlctl({"--inventory", inventory, "--json", "get-frame-rate"});
  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_EQ(lines.size(), kDevices + 1);
  for (std::size_t i = 0; i < kDevices; ++i) {
    const auto json = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(json["line"], i + 3);  // after the comment and the header
    EXPECT_EQ(json["ok"], i != kClosed && i != kWrongPassword);
  }
  const auto summary = nlohmann::json::parse(lines.back())["summary"];
  EXPECT_EQ(summary["succeeded"], kDevices - 2);
  EXPECT_EQ(summary["failed_by_stage"], nlohmann::json({{"connect-refused", 1}, {"login-refused", 1}}));
  EXPECT_EQ(summary["interrupted"], false);
}

TEST_F(FleetTest, ExitsWithZeroOnlyWhenEveryDeviceSucceeded) {
  std::ofstream(inventory) << "host,port\n127.0.0.1," << fleet.Port(0) << "\n127.0.0.1," << fleet.Port(1)
                           << "\n";
  EXPECT_EQ(Vmlctl({"--inventory", inventory, "get-bitrate"}).status, 0);
  // Missing columns come from the global options.
  EXPECT_EQ(Vmlctl({"--inventory", inventory, "--password", "wrong", "get-bitrate"}).status, 3);
}

// Some devices failed, or all did: two statuses, so a script can tell a partial run from a dead
// network; config plan's "changes pending" only when nothing failed.
TEST_F(FleetTest, ExitStatusTellsSomeFailedFromNoneSucceeded) {
  const std::string document = inventory + ".json";
  std::ofstream(document) << R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})";
  const std::string live = "127.0.0.1," + std::to_string(fleet.Port(0));
  const std::string dead = "127.0.0.1," + std::to_string(closedPort);
  struct Case {
    std::vector<std::string> rows;
    std::vector<std::string> command;
    int status;
  };
  const Case cases[] = {
      {{live}, {"get-bitrate"}, 0},
      {{live, dead}, {"get-bitrate"}, 1},
      {{dead, dead}, {"get-bitrate"}, 3},
      {{live}, {"config", "plan", document}, 2},
      {{live}, {"config", "apply", "--check", document}, 2},
      {{live, dead}, {"config", "plan", document}, 1},
      {{dead}, {"config", "plan", document}, 3},
  };
  for (const Case& c : cases) {
    std::ofstream out(inventory);
    out << "host,port\n";
    for (const std::string& row : c.rows) out << row << "\n";
    out.close();
    std::vector<std::string> args = {"--inventory", inventory};
    args.insert(args.end(), c.command.begin(), c.command.end());
    const ToolRun run = Vmlctl(args);
    EXPECT_EQ(run.status, c.status) << c.command[0] << " on " << c.rows.size() << " rows: " << run.output;
  }
  EXPECT_EQ(fleet.State(0).videoPorts[0].encoder.bitrate, 512);
  const ToolRun missing = Vmlctl({"--inventory", "nosuch.csv", "get-bitrate"});
  EXPECT_EQ(missing.status, 64);
  EXPECT_TRUE(Has(missing.errors, "nosuch.csv: No such file or directory")) << missing.errors;
  std::remove(document.c_str());
}

TEST_F(FleetTest, ABadRowNamesItsLineAndNothingRuns) {
  std::ofstream(inventory) << "host,port,user,password,video-port\n127.0.0.1," << fleet.Port(0)
                           << ",admin,admin,0\n\n127.0.0.1,70000,admin,admin,0\n";
  const ToolRun run = Vmlctl({"--inventory", inventory, "get-bitrate"});
  EXPECT_EQ(run.status, 64);
  EXPECT_TRUE(Has(run.errors, inventory + ":4: port \"70000\"")) << run.errors;
  EXPECT_TRUE(run.output.empty()) << run.output;
  EXPECT_EQ(fleet.Stats(0).accepted, 0u);
  EXPECT_EQ(Vmlctl({"--inventory", "/nonexistent/inventory.csv", "get-bitrate"}).status, 64);
  EXPECT_EQ(Vmlctl({"--inventory", inventory, "--trace", "get-bitrate"}).status, 64);
  EXPECT_EQ(Vmlctl({"--inventory", inventory, "--host", "127.0.0.1", "get-bitrate"}).status, 64);
  EXPECT_EQ(Vmlctl({"--jobs", "4", "get-bitrate"}).status, 64);  // --jobs needs --inventory
}

TEST_F(FleetTest, CtrlCStopsStartingDevicesAndReportsWhatWasDone) {
  for (std::size_t i = 0; i < kDevices; ++i)
    fleet.SetFault(i, 32, napisim::Fault::Delay(std::chrono::milliseconds(100)));
  const ToolRun run = Vmlctl({"--inventory", inventory, "--jobs", "1", "get-bitrate"}, [&](pid_t pid) {
    // Interrupt once the second device has its request: one device is done, many are left.
    fleet.WaitForRequests(1, 2, std::chrono::seconds(10));
    kill(pid, SIGINT);
  });
  EXPECT_EQ(run.status, 130) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 3u) << run.output;
  EXPECT_LT(lines.size(), kDevices) << run.output;
  EXPECT_TRUE(Has(lines.back(), "not started (interrupted)")) << lines.back();
  EXPECT_EQ(fleet.Stats(kSilent).accepted, 0u);
}

// config: a file to compare and apply, the exit codes scripts branch on, and a refused document.
TEST_F(ExternalDeviceTest, ConfigPlanExitCodesAndApply) {
  const std::string file = "/tmp/vmlctl-config-" + std::to_string(getpid()) + ".json";
  auto write = [&](const std::string& text) { std::ofstream(file) << text; };

  write(R"({"format": "vmlcmd-config 1", "video_ports": {"0": {"encoder": {"bitrate": 512}}}})");
  EXPECT_EQ(Human({"config", "plan", file}).status, 0);

  write(R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})");
  ToolRun plan = Human({"config", "plan", file});
  EXPECT_EQ(plan.status, 2);
  EXPECT_EQ(plan.output, "video_ports.0.encoder.bitrate: 512 -> 1024\n");
  EXPECT_EQ(At({"config", "plan", file}).status, 2);
  EXPECT_EQ(Json(At({"config", "plan", file}))["changes"][0]["to"], 1024);
  EXPECT_EQ(Human({"config", "apply", "--check", file}).status, 2);
  EXPECT_EQ(device.State().videoPorts[0].encoder.bitrate, 512);

  // A device that answers success and keeps its value: named, and left as it was.
  device.SetFault(31, napisim::Fault::Ignore());
  ToolRun ignored = Human({"config", "apply", file});
  EXPECT_EQ(ignored.status, 1);
  EXPECT_TRUE(
      Has(ignored.output + ignored.errors, "not applied: video_ports.0.encoder.bitrate is 512, wanted 1024"));
  EXPECT_TRUE(Has(ignored.output + ignored.errors, "rolled back"));
  device.ClearFaults();

  EXPECT_EQ(Human({"config", "apply", file}).status, 0);
  EXPECT_EQ(device.State().videoPorts[0].encoder.bitrate, 1024);
  EXPECT_EQ(Human({"config", "plan", file}).status, 0);

  // A refused document: its field and path, exit 64, and not one byte to the device.
  device.ClearRequests();
  write("{\"video_ports\": {\"0\": {\"encoder\": {\"bitrate\": \"fast\"}}}}");
  for (const char* action : {"plan", "apply"}) {
    ToolRun bad = Human({"config", action, file});
    EXPECT_EQ(bad.status, 64);
    EXPECT_TRUE(Has(bad.errors, "bitrate: expected an integer at video_ports.0.encoder")) << bad.errors;
  }
  EXPECT_TRUE(device.Requests().empty());
  std::remove(file.c_str());
}

TEST_F(FleetTest, ConfigBackupOfAFleetWithDeadDevicesAndApplyFromTheFiles) {
  char dirTemplate[] = "/tmp/vmlctl-config-fleet-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  const ToolRun get = Vmlctl({"--inventory", inventory, "--jobs", "4", "config", "get", "--out", dir});
  EXPECT_EQ(get.status, 1);
  EXPECT_TRUE(Has(get.output, "20 devices: 18 read, 2 failed")) << get.output;
  std::size_t files = 0;
  for (std::size_t i = 0; i < kDevices; ++i) {
    const uint16_t port = i == kClosed ? closedPort : fleet.Port(i);
    const std::string path = dir + "/127.0.0.1_" + std::to_string(port) + ".json";
    const bool dead = i == kClosed || i == kWrongPassword;
    EXPECT_EQ(std::ifstream(path).good(), !dead) << path;
    files += dead ? 0 : 1;
  }
  EXPECT_EQ(files, 18u);

  // One device's file edited: only that device changes, and only where it differs.
  const std::string edited = dir + "/127.0.0.1_" + std::to_string(fleet.Port(3)) + ".json";
  nlohmann::json document = nlohmann::json::parse(Slurp(edited));
  document["video_ports"]["0"]["encoder"]["bitrate"] = 2048;
  std::ofstream(edited) << document.dump(2);
  // The two dead devices have no backup: the run names their files and contacts no device.
  const std::size_t accepted = fleet.Stats(0).accepted;
  const ToolRun withoutFiles = Vmlctl({"--inventory", inventory, "config", "apply", "--from", dir});
  EXPECT_EQ(withoutFiles.status, 64);
  EXPECT_TRUE(Has(withoutFiles.errors,
                  dir + "/127.0.0.1_" + std::to_string(closedPort) + ".json: No such file or directory"))
      << withoutFiles.errors;
  EXPECT_EQ(fleet.Stats(0).accepted, accepted) << "contacted before its files were checked";
  for (const std::size_t dead : {kClosed, kWrongPassword}) {
    const uint16_t port = dead == kClosed ? closedPort : fleet.Port(dead);
    std::filesystem::copy_file(edited, dir + "/127.0.0.1_" + std::to_string(port) + ".json");
  }
  fleet.ClearRequests(5);
  const ToolRun apply = Vmlctl({"--inventory", inventory, "config", "apply", "--from", dir});
  EXPECT_EQ(apply.status, 1);
  EXPECT_TRUE(Has(apply.output, "20 devices: 17 unchanged, 1 changed, 2 failed, 0 rolled back"))
      << apply.output;
  EXPECT_EQ(fleet.State(3).videoPorts[0].encoder.bitrate, 2048);
  for (const auto& request : fleet.Requests(5))
    EXPECT_NE(request.command, 31) << "an unchanged device was written";
  std::filesystem::remove_all(dir);
}

// The configuration commands over a fleet read like the single-operation fleet mode: each device
// by its inventory name, in inventory order whatever order they end in, the same JSON head.
TEST_F(FleetTest, ConfigPlanOfAFleetListsEachChangeByNameInInventoryOrder) {
  const std::string document = inventory + ".json";
  std::ofstream(document) << R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})";
  {
    std::ofstream out(inventory);
    out << "name,host,port\n";
    for (std::size_t i = 0; i < 4; ++i) out << "sim-" << i + 1 << ",127.0.0.1," << fleet.Port(i) << "\n";
    out << "sim-5,127.0.0.1," << closedPort << "\n";
  }
  for (std::size_t i = 0; i < 3; ++i)
    fleet.UpdateState(i, [](napisim::DeviceState& s) { s.videoPorts[0].encoder.bitrate = 1024; });
  // The first device ends last.
  fleet.SetFault(0, napisim::kLoginCommand, napisim::Fault::Delay(std::chrono::milliseconds(300)));

  const ToolRun plan = Vmlctl({"--inventory", inventory, "--jobs", "5", "config", "plan", document});
  EXPECT_EQ(plan.status, 1) << plan.errors;
  const std::vector<std::string> lines = Lines(plan.output);
  ASSERT_GE(lines.size(), 7u) << plan.output;
  EXPECT_EQ(lines[0].rfind("sim-1 127.0.0.1:" + std::to_string(fleet.Port(0)), 0), 0u) << plan.output;
  EXPECT_TRUE(Has(lines[0], "  unchanged")) << lines[0];
  EXPECT_TRUE(Has(lines[3], "  changes (1 field)")) << lines[3];
  EXPECT_EQ(lines[4], "sim-4 video_ports.0.encoder.bitrate: 512 -> 1024");
  EXPECT_EQ(lines[5].rfind("sim-5 127.0.0.1:" + std::to_string(closedPort), 0), 0u) << lines[5];
  EXPECT_TRUE(Has(lines[5], "  failed")) << lines[5];
  EXPECT_EQ(lines[6].rfind("sim-5 ", 0), 0u) << lines[6];
  EXPECT_EQ(lines.back().rfind("5 devices: 3 unchanged, 1 changes, 1 failed; ", 0), 0u) << lines.back();

  const ToolRun summary =
      Vmlctl({"--inventory", inventory, "config", "apply", "--check", "--summary", document});
  EXPECT_EQ(summary.status, 1);
  EXPECT_EQ(Lines(summary.output).size(), 1u) << summary.output;

  // The same head as the single-operation fleet's JSON lines.
  const ToolRun json = Vmlctl({"--inventory", inventory, "--json", "config", "plan", document});
  const ToolRun single = Vmlctl({"--inventory", inventory, "--json", "get-bitrate"});
  const std::vector<std::string> planLines = Lines(json.output), singleLines = Lines(single.output);
  ASSERT_EQ(planLines.size(), 6u) << json.output;
  ASSERT_EQ(singleLines.size(), 6u) << single.output;
  for (std::size_t i = 0; i < 5; ++i) {
    const auto planned = nlohmann::json::parse(planLines[i]), ran = nlohmann::json::parse(singleLines[i]);
    for (const char* key : {"line", "name", "host", "port", "video_port"})
      EXPECT_EQ(planned[key], ran[key]) << key;
    EXPECT_EQ(planned["name"], "sim-" + std::to_string(i + 1));
  }
  EXPECT_EQ(fleet.State(3).videoPorts[0].encoder.bitrate, 512);
  std::remove(document.c_str());
}

TEST_F(FleetTest, SetClockNowSetsEveryDevice) {
  const ToolRun run = Vmlctl({"--inventory", inventory, "set-clock", "now"});
  EXPECT_EQ(run.status, 1) << run.output;  // the dead ones
  for (std::size_t i = 0; i < kDevices; ++i) {
    const bool dead = i == kClosed || i == kWrongPassword;
    EXPECT_EQ(fleet.State(i).clock.date.empty(), dead) << i;
  }
}

// An output that cannot be written stops the run before any device is contacted, and a missing
// --out folder is made with its parents.
TEST_F(FleetTest, OutputPathsAreCheckedBeforeAnyDevice) {
  char dirTemplate[] = "/tmp/vmlctl-out-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  const std::string blocker = dir + "/file";
  std::ofstream(blocker) << "x";
  const ToolRun single = Vmlctl({"--host", "127.0.0.1", "--port", std::to_string(fleet.Port(0)), "config",
                                 "get", "-o", dir + "/backup/x.json"});
  EXPECT_EQ(single.status, 64);
  EXPECT_TRUE(Has(single.errors, dir + "/backup/x.json: No such file or directory")) << single.errors;
  const ToolRun blocked = Vmlctl({"--inventory", inventory, "config", "get", "--out", blocker + "/backup"});
  EXPECT_EQ(blocked.status, 64);
  EXPECT_TRUE(Has(blocked.errors, blocker + "/backup: Not a directory")) << blocked.errors;
  EXPECT_EQ(fleet.Stats(0).accepted, 0u);

  const ToolRun made = Vmlctl({"--inventory", inventory, "config", "get", "--out", dir + "/a/b"});
  EXPECT_EQ(made.status, 1) << made.errors;
  EXPECT_TRUE(std::ifstream(dir + "/a/b/127.0.0.1_" + std::to_string(fleet.Port(0)) + ".json").good());
  std::filesystem::remove_all(dir);
}

}  // namespace
