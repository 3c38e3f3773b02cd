// The parts of vmlctl that need no process: the inventory reader, the words for an outcome, the
// cutting of a byte stream into messages, and the relay's faithfulness to what the device did.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Clock.h"
#include "Files.h"
#include "Inventory.h"
#include "Reason.h"
#include "Trace.h"
#include "VmlCmd/ICommand.h"
#include "napisim/Simulator.h"

namespace vmlctl {
namespace {

struct Parsed {
  bool ok = false;
  std::vector<InventoryRow> rows;
  InventoryError error;
};

Parsed Parse(const std::string& text) {
  Parsed parsed;
  std::istringstream in(text);
  Target defaults;
  defaults.user = "operator";
  defaults.password = "secret";
  defaults.videoPort = 2;
  parsed.ok = ParseInventory(in, defaults, &parsed.rows, &parsed.error);
  return parsed;
}

TEST(InventoryTest, ReadsRowsCommentsQuotesAndMissingColumns) {
  const Parsed p = Parse(
      "\xEF\xBB\xBF# fleet of the north gate\r\n"
      "host,port,user,password,video-port\r\n"
      "  # a comment that is indented\r\n"
      "\r\n"
      "192.0.2.10, 8000 ,admin,admin,1\r\n"
      "192.0.2.11,8001,admin,\"a,b \"\"c\"\"\",0\r\n");
  ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.rows[0].line, 5);
  EXPECT_EQ(p.rows[0].target.host, "192.0.2.10");
  EXPECT_EQ(p.rows[0].target.port, 8000);
  EXPECT_EQ(p.rows[0].target.videoPort, 1);
  EXPECT_EQ(p.rows[1].target.password, "a,b \"c\"");

  // Columns in another order, and the ones left out taken from the defaults; a name labels a row.
  const Parsed q = Parse("port,host,name\n8000,192.0.2.12,gate-north\n");
  ASSERT_TRUE(q.ok) << q.error.message;
  EXPECT_EQ(q.rows[0].target.host, "192.0.2.12");
  EXPECT_EQ(q.rows[0].target.user, "operator");
  EXPECT_EQ(q.rows[0].target.password, "secret");
  EXPECT_EQ(q.rows[0].target.videoPort, 2);
  EXPECT_EQ(q.rows[0].name, "gate-north");
  EXPECT_TRUE(p.rows[0].name.empty());
}

TEST(InventoryTest, ABadFileNamesTheLineAndWhatIsWrong) {
  const std::string header = "host,port,user,password,video-port\n";
  const std::string good = "192.0.2.10,8000,admin,admin,0\n";
  struct Case {
    std::string text;
    int line;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"", 0, "no header"},
      {"# only a comment\n", 0, "no header"},
      {header, 0, "no devices"},
      {"host,port,colour\n", 1, "unknown column \"colour\""},
      {"host,host,port\n", 1, "appears twice"},
      {"host,user\n", 1, "at least the columns host and port"},
      {header + good + "192.0.2.11,8000,admin,admin\n", 3, "4 fields, the header has 5"},
      {header + "camera-1,8000,admin,admin,0\n", 2, "not a dotted-quad"},
      {header + "192.0.2.10,0,admin,admin,0\n", 2, "port \"0\""},
      {header + "192.0.2.10,65536,admin,admin,0\n", 2, "port \"65536\""},
      {header + "192.0.2.10,80x,admin,admin,0\n", 2, "port \"80x\""},
      {header + "192.0.2.10,8000,admin,admin,-1\n", 2, "video-port \"-1\""},
      {header + "192.0.2.10,8000,seventeen-letters,admin,0\n", 2, "longer than 16"},
      {header + "192.0.2.10,8000,admin,ninechars,0\n", 2, "longer than 8"},
      {header + "192.0.2.10,8000,ad-min,admin,0\n", 2, "user name holds '-'"},
      {header + "192.0.2.10,8000,admin,pa-ss,0\n", 2, "password holds '-'"},
      {"name,host,port,video_port\n", 1, "unknown column \"video_port\""},
      {header + good + "# fine\n192.0.2.10,8000,admin,\"open,0\n", 4, "no closing quote"},
      {header + "192.0.2.10,8000,admin,\"x\"y,0\n", 2, "after a closing quote"},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.text);
    EXPECT_FALSE(p.ok) << c.text;
    EXPECT_EQ(p.error.line, c.line) << c.text;
    EXPECT_NE(p.error.message.find(c.part), std::string::npos) << c.text << " -> " << p.error.message;
    EXPECT_TRUE(p.rows.empty() || !p.ok);
  }
  // The limits themselves are allowed.
  EXPECT_TRUE(Parse(header + "192.0.2.10,65535,sixteen_letters!,eightchr,0\n").ok);
}

// Each check says the path and the system's reason, and none of them leaves a file behind.
TEST(FilesTest, ProblemsNameThePathAndTheSystemsReason) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vmlctl-files-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "cam.json").string();
  std::ofstream(file) << "{}";
  const std::string missing = (dir / "backup" / "x.json").string();
  struct Case {
    const char* what;
    std::string problem;
    std::string expected;  // empty: no problem
  };
  const Case cases[] = {
      {"read a file", ReadProblem(file), ""},
      {"read a missing one", ReadProblem(missing), missing + ": No such file or directory"},
      {"read a folder", ReadProblem(dir.string()), dir.string() + ": Is a directory"},
      {"write beside a file", WriteProblem(file), ""},
      {"write into a missing folder", WriteProblem(missing), missing + ": No such file or directory"},
      {"write over a folder", WriteProblem(dir.string()), dir.string() + ": Is a directory"},
      {"write under a file", WriteProblem(file + "/x.json"), file + "/x.json: Not a directory"},
      {"make a folder where a file is", MakeDirectory(file), file + ": Not a directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.problem, c.expected) << c.what;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "a check left a file";

  EXPECT_EQ(MakeDirectory((dir / "a" / "b").string()), "");
  std::string problem;
  ASSERT_TRUE(WriteText((dir / "a" / "b" / "c.json").string(), "text", &problem)) << problem;
  std::string text;
  ASSERT_TRUE(ReadText((dir / "a" / "b" / "c.json").string(), &text, &problem)) << problem;
  EXPECT_EQ(text, "text");
  EXPECT_FALSE(WriteText(missing, "text", &problem));
  EXPECT_EQ(problem, missing + ": No such file or directory");
  std::filesystem::remove_all(dir);
}

TEST(ClockTest, NowIsTheHostsClockInTheLayoutOfATimeArgument) {
  using std::chrono::seconds;
  using std::chrono::system_clock;
  EXPECT_EQ(ClockText(system_clock::time_point(seconds(1767323045)), true), "2026-01-02T03:04:05");
  EXPECT_EQ(ClockText(system_clock::time_point(seconds(1709251199)), true), "2024-02-29T23:59:59");
  EXPECT_EQ(ResolveNow("2026-01-02T03:04:05", true), "2026-01-02T03:04:05");
  EXPECT_EQ(ResolveNow("now", true).size(), std::string("YYYY-MM-DDTHH:MM:SS").size());
}

TEST(ReasonTest, DottedQuadsOnly) {
  for (const char* good : {"0.0.0.0", "127.0.0.1", "192.0.2.10", "255.255.255.254"}) {
    EXPECT_TRUE(IsDottedQuad(good)) << good;
  }
  for (const char* bad : {"", "localhost", "127.1", "1.2.3", "1.2.3.4.5", "1.2.3.256", "01.2.3.4", "1.2.3.",
                          ".1.2.3", "1..2.3", "0x7f.0.0.1", " 1.2.3.4", "1.2.3.4 ", "1234.1.1.1"}) {
    EXPECT_FALSE(IsDottedQuad(bad)) << bad;
  }
}

// Stages the process tests do not reach through a real fault.
TEST(ReasonTest, WordsNameTheExchangeTheStatusAndTheTarget) {
  Target target;
  target.host = "192.0.2.10";
  target.port = 8000;
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;

  outcome.stage = VmlCmdStageConnectTimedOut;
  EXPECT_EQ(Describe(outcome, target), "no connection to 192.0.2.10:8000 within 100 ms");
  outcome.stage = VmlCmdStageReplyTimedOut;
  outcome.exchange = VmlCmdExchangeLogin;
  EXPECT_EQ(Describe(outcome, target), "no reply to the login within 1 s");
  outcome.stage = VmlCmdStageReplyStatus;
  outcome.exchange = VmlCmdExchangeSecond;
  outcome.status = 64;
  EXPECT_EQ(Describe(outcome, target), "device refused the second request: status 64 (未知NAPI错误)");
  outcome.stage = VmlCmdStageLoginRefused;
  outcome.status = 6;
  EXPECT_EQ(Describe(outcome, target), "login refused: status 6 (错误的用户名)");
  outcome.stage = VmlCmdStageArgumentRefused;
  target.password = "ninechars";
  EXPECT_EQ(Describe(outcome, target), "the password is longer than 8 characters; nothing was sent");

  outcome.stage = VmlCmdStageNotNapiDevice;
  outcome.replyMagic = 1297436755;
  EXPECT_EQ(Describe(outcome, target), "the peer at " + target.host + ":" + std::to_string(target.port) +
                                           " does not speak NAPI (reply magic 1297436755)");

  const std::vector<std::string> names = {StageName(VmlCmdStageNone), StageName(VmlCmdStageNotNapiDevice),
                                          StageName(VmlCmdStageCount), StageName(-1)};
  EXPECT_EQ(names, (std::vector<std::string>{"none", "not-napi-device", "unknown", "unknown"}));
}

class WireLogTest : public ::testing::Test {
 protected:
  std::ostringstream out;
  std::mutex lock;
};

TEST_F(WireLogTest, CutsTheStreamAtMessageBoundariesWhereverItWasSplit) {
  // The reply of a bitrate read: 20-byte header, text "-b 512", in pieces of every size.
  std::string reply("\x64\0\0\0\x06\0\0\0\x20\0\0\0\0\0\0\0\0\0\0\0-b 512", 26);
  const std::string twice = reply + reply;
  for (std::size_t piece = 1; piece <= twice.size(); ++piece) {
    out.str("");
    WireLog log(false, out, lock);
    for (std::size_t at = 0; at < twice.size(); at += piece)
      log.Feed(twice.data() + at, std::min(piece, twice.size() - at), "[1]");
    log.End("[1]");
    const std::string text = out.str();
    const std::string head = "[1] ← reply 26 bytes  magic 100  length 6  command 32  reserved 0  status 0\n";
    ASSERT_EQ(text.find(head), 0u) << piece << ":\n" << text;
    EXPECT_NE(text.find(head, head.size()), std::string::npos) << piece << ":\n" << text;
    EXPECT_EQ(text.find("short"), std::string::npos) << piece << ":\n" << text;
  }
}

TEST_F(WireLogTest, ShowsWhatArrivedOfAnIncompleteMessage) {
  WireLog log(false, out, lock);
  log.Feed("\x64\0\0\0\x10\0\0", 7, "[2]");
  log.End("[2]");
  EXPECT_EQ(out.str().find("[2] ← reply 7 bytes (short: 20-byte header incomplete)  magic 100\n"), 0u)
      << out.str();

  out.str("");
  WireLog request(true, out, lock);
  request.Feed("\x64\0\0\0\x09\0\0\0\x2d\0\0\0\0\0\0\0-u a", 20, "[3]");
  request.End("[3]");
  EXPECT_NE(out.str().find("does not match what arrived"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("text \"-u a\""), std::string::npos) << out.str();

  out.str("");
  WireLog wild(false, out, lock);
  wild.Feed("\x64\0\0\0\xff\xff\xff\x7f\0\0\0\0\0\0\0\0\0\0\0\0", 20, "[4]");  // a length no reply has
  EXPECT_NE(out.str().find("length 2147483647"), std::string::npos) << out.str();
}

// Through the relay the library must meet what it meets without it, fault for fault.
TEST(TraceRelayTest, TheLibraryMeetsTheSameEndThroughTheRelay) {
  napisim::Simulator device;
  device.Start();
  std::ostringstream trace;
  TraceRelay relay("127.0.0.1", device.Port(), trace);
  std::string problem;
  ASSERT_TRUE(relay.Start(&problem)) << problem;

  const std::vector<std::pair<napisim::Fault, int32_t>> faults = {
      {napisim::Fault::Delay(std::chrono::milliseconds(0)), VmlCmdStageSuccess},
      {napisim::Fault::Close(), VmlCmdStageClosedByDevice},
      {napisim::Fault::Reset(), VmlCmdStageReceiveFailed},
      {napisim::Fault::WithStatus(5), VmlCmdStageReplyStatus},
      {napisim::Fault::WithText("-q 1"), VmlCmdStageValueMissing},
      {napisim::Fault::Split(8, std::chrono::milliseconds(30)), VmlCmdStageSuccess},
  };
  for (const auto& [fault, stage] : faults) {
    device.SetFault(32, fault);
    for (uint16_t port : {device.Port(), relay.Port()}) {
      ICommand* command = CreateICommand();
      command->SetNetworkTarget("127.0.0.1", port, "admin", "admin");
      command->GetVideoBitrate();
      VmlCmdOutcome outcome{};
      outcome.size = sizeof outcome;
      ASSERT_TRUE(VmlCmdGetLastOutcome(command, &outcome));
      command->Release();
      EXPECT_EQ(outcome.stage, stage)
          << "fault " << static_cast<int>(fault.kind) << (port == relay.Port() ? " through the relay" : "");
    }
  }
  relay.Stop();
  EXPECT_NE(trace.str().find("the device reset the connection"), std::string::npos) << trace.str();
  EXPECT_EQ(relay.UpstreamFailure(), "");
}

}  // namespace
}  // namespace vmlctl
