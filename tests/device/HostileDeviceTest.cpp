// One row per way a device can misbehave, run against operations of every family through the
// public table: the result, the result code, the stage recorded, the time within its bound, no
// socket left behind after Release, and guard bytes around every output untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "core/ResultCode.h"
#include "support/HostilePeer.h"

namespace vml::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using End = Answer::End;

constexpr std::int32_t kSentinel = kNotImplemented;  // no device operation here sets it
constexpr std::int32_t kKept = -1;
const char kText[] = "-b 512 -c 1 -s 2 -h 3 -r 4 -f 25 -q 31 -i 10.0.0.7 -t 6 -l 7 -w 8 -g 1";

// Output memory with guard bytes on both sides.
class Guarded {
 public:
  explicit Guarded(std::size_t size) : size_(size), bytes_(size + 2 * kGuard, kPattern) {
    std::memset(Data(), 0, size_);
  }
  unsigned char* Data() { return bytes_.data() + kGuard; }
  bool Intact() const {
    for (std::size_t i = 0; i < kGuard; ++i) {
      if (bytes_[i] != kPattern || bytes_[kGuard + size_ + i] != kPattern) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kGuard = 32;
  static constexpr unsigned char kPattern = 0xA5;
  std::size_t size_;
  std::vector<unsigned char> bytes_;
};

struct Family {
  const char* name;
  int exchanges;  // request/reply exchanges after the login
  std::function<bool(ICommand*, std::vector<Guarded>&)> run;
};

template <class T>
T* As(Guarded& memory) {
  return reinterpret_cast<T*>(memory.Data());
}

const std::vector<Family>& Families() {
  static const std::vector<Family> families = {
      {"bool setter", 1, [](ICommand* c, std::vector<Guarded>&) { return c->SetVideoBitrate(512); }},
      {"getter", 1, [](ICommand* c, std::vector<Guarded>&) { return c->GetVideoBitrate() == 512; }},
      {"text output", 1,
       [](ICommand* c, std::vector<Guarded>& out) {
         out.emplace_back(VMLCMD_ADDRESS_BUFFER_SIZE);
         return c->GetIpAddress(As<char>(out.back()));
       }},
      {"region", 1,
       [](ICommand* c, std::vector<Guarded>& out) {
         out.reserve(5);
         out.emplace_back(sizeof(bool));
         for (int i = 0; i < 4; ++i) out.emplace_back(sizeof(std::int32_t));
         return c->GetMaskRegion(As<bool>(out[0]), As<std::int32_t>(out[1]), As<std::int32_t>(out[2]),
                                 As<std::int32_t>(out[3]), As<std::int32_t>(out[4]), 0);
       }},
      {"overlay", 1,
       [](ICommand* c, std::vector<Guarded>& out) {
         out.reserve(3);
         out.emplace_back(sizeof(bool));
         out.emplace_back(sizeof(std::int32_t));
         out.emplace_back(VMLCMD_CAPTION_BUFFER_SIZE);
         return c->GetOsdCaption(As<bool>(out[0]), As<std::int32_t>(out[1]), As<char>(out[2]));
       }},
      {"two exchanges", 2,
       [](ICommand* c, std::vector<Guarded>& out) {
         out.emplace_back(sizeof(VideoSettings));
         return c->GetVideoSettings(As<VideoSettings>(out.back()));
       }},
  };
  return families;
}

// Where the device is for a row.
enum class Place { kPeer, kNothingListening, kFullBacklog };

struct Row {
  std::string name;
  Place place;
  Answer login;
  Answer reply;  // every exchange after the login gets it
  bool ok;
  std::int32_t code;  // kKept: the result code stays as it was
  std::vector<std::int32_t> stages;
  bool waits;         // the row costs a receive time-out
  bool hint = false;  // a late tail, told apart only by the first field's usual 100
};

Answer OkLogin() { return Whole(ReplyBytes(0)); }
Answer Status(std::int32_t status) { return Whole(ReplyBytes(status)); }
Answer Values() { return Whole(ReplyBytes(0, kText)); }
Answer None() { return Answer{}; }

std::vector<Row> Rows() {
  const std::string values = ReplyBytes(0, kText);
  std::vector<Row> rows = {
      {"nothing listening",
       Place::kNothingListening,
       None(),
       None(),
       false,
       kKept,
       {VmlCmdStageConnectRefused},
       false},
      {"full accept backlog",
       Place::kFullBacklog,
       None(),
       None(),
       false,
       kKept,
       {VmlCmdStageConnectTimedOut},
       false},
      {"accepts, never answers",
       Place::kPeer,
       Answer{{}, End::kStayOpen},
       None(),
       false,
       kKept,
       {VmlCmdStageReplyTimedOut},
       true},
      {"closes instead of the login reply",
       Place::kPeer,
       Hangup(End::kClose),
       None(),
       false,
       kKept,
       {VmlCmdStageClosedByDevice},
       false},
      {"resets instead of the login reply",
       Place::kPeer,
       Hangup(End::kReset),
       None(),
       false,
       kKept,
       {VmlCmdStageReceiveFailed, VmlCmdStageClosedByDevice},
       false},
      {"login reply's tail after its second",
       Place::kPeer,
       CutAt(ReplyBytes(0), {5}, milliseconds(1300)),
       Values(),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       true,
       true},
      {"login refused", Place::kPeer, Status(7), Values(), false, kKept, {VmlCmdStageLoginRefused}, false},
      {"login refused in pieces",
       Place::kPeer,
       CutAt(ReplyBytes(6), {3, 17}, milliseconds(30)),
       Values(),
       false,
       kKept,
       {VmlCmdStageLoginRefused},
       false},
      {"closes after the login",
       Place::kPeer,
       Whole(ReplyBytes(0), End::kClose),
       Values(),
       false,
       kKept,
       {VmlCmdStageClosedByDevice, VmlCmdStageSendFailed, VmlCmdStageReceiveFailed},
       false},
      {"silent after the login",
       Place::kPeer,
       OkLogin(),
       Answer{{}, End::kStayOpen},
       false,
       kKept,
       {VmlCmdStageReplyTimedOut},
       true},
      {"closes instead of the reply",
       Place::kPeer,
       OkLogin(),
       Hangup(End::kClose),
       false,
       kKept,
       {VmlCmdStageClosedByDevice},
       false},
      {"resets instead of the reply",
       Place::kPeer,
       OkLogin(),
       Hangup(End::kReset),
       false,
       kKept,
       {VmlCmdStageReceiveFailed, VmlCmdStageClosedByDevice},
       false},
      // Another service on the port: its banner is no NAPI reply, whatever its bytes 16 to 19 say.
      {"banner instead of the login reply",
       Place::kPeer,
       Whole("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n"),
       Values(),
       false,
       kKept,
       {VmlCmdStageNotNapiDevice},
       false},
      // The result code follows the status the bytes seem to carry (-1: 16), as it always has.
      {"garbage",
       Place::kPeer,
       OkLogin(),
       Whole(std::string(40, '\xff')),
       false,
       kUnknownNapiError,
       {VmlCmdStageNotNapiDevice},
       false},
      // The first field is the device's own: a reply is read by its status and text alone.
      {"first field 101 with status 0",
       Place::kPeer,
       OkLogin(),
       Whole("\x65" + ReplyBytes(0, kText).substr(1)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"first field 101 on a refusal",
       Place::kPeer,
       OkLogin(),
       Whole("\x65" + ReplyBytes(5).substr(1)),
       false,
       kWrongVideoPort,
       {VmlCmdStageReplyStatus},
       false},
      {"login refused, first field 0",
       Place::kPeer,
       Whole(std::string(4, '\0') + ReplyBytes(7).substr(4)),
       Values(),
       false,
       kKept,
       {VmlCmdStageLoginRefused},
       false},
      {"refusal in pieces",
       Place::kPeer,
       OkLogin(),
       CutAt(ReplyBytes(3), {10}, milliseconds(50)),
       false,
       kInvalidArgument,
       {VmlCmdStageReplyStatus},
       false},
      {"refusal byte by byte",
       Place::kPeer,
       OkLogin(),
       Bytewise(ReplyBytes(8), milliseconds(10)),
       false,
       kInvalidVideoTicket,
       {VmlCmdStageReplyStatus},
       false},
      {"values", Place::kPeer, OkLogin(), Values(), true, kSuccess, {VmlCmdStageSuccess}, false},
      {"header and text apart",
       Place::kPeer,
       OkLogin(),
       CutAt(values, {20}, milliseconds(30)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"values in three pieces",
       Place::kPeer,
       CutAt(ReplyBytes(0), {10}, milliseconds(20)),
       CutAt(values, {7, 33}, milliseconds(20)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"values byte by byte",
       Place::kPeer,
       OkLogin(),
       Bytewise(values, milliseconds(2)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"undeclared NUL after the text",
       Place::kPeer,
       Whole(ReplyBytes(0) + std::string(1, '\0')),
       Whole(values + std::string(1, '\0')),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"undeclared bytes past the buffer after the login reply",
       Place::kPeer,
       Whole(ReplyBytes(0) + std::string(400, '\x7f')),
       Values(),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"text longer than the buffer",
       Place::kPeer,
       OkLogin(),
       Whole(ReplyBytes(0, kText + std::string(400, ' '))),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
      {"huge textLength",
       Place::kPeer,
       OkLogin(),
       Whole(ReplyBytes(0, kText, 0x7FFFFFFF)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       true},
      {"negative textLength",
       Place::kPeer,
       OkLogin(),
       Whole(ReplyBytes(0, kText, -5)),
       true,
       kSuccess,
       {VmlCmdStageSuccess},
       false},
  };
  const struct {
    std::int32_t status;
    std::int32_t code;
  } statuses[] = {{1, 18}, {2, 16}, {3, 15}, {4, 16},  {5, 14},  {6, 11},
                  {7, 12}, {8, 13}, {9, 17}, {10, 16}, {64, 16}, {-1, 16}};
  for (const auto& s : statuses) {
    // A status no device gives, from a peer that does not write the usual first field, is all the
    // reply there is to tell such a peer by: it may be reported as none.
    std::vector<std::int32_t> stages = {VmlCmdStageReplyStatus};
    if (s.code == kUnknownNapiError) stages.push_back(VmlCmdStageNotNapiDevice);
    rows.push_back({"status " + std::to_string(s.status), Place::kPeer, OkLogin(), Status(s.status), false,
                    s.code, stages, false});
  }
  return rows;
}

// Each row against a device that writes 100 in the reply's free fields, and the rows that read a
// reply also against one that writes zeros and one that writes something new every time.
struct Case {
  std::size_t row;
  FreeFields fields;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const std::vector<Row> rows = Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    cases.push_back({i, FreeFields::kUsual});
    if (rows[i].place != Place::kPeer || rows[i].hint || rows[i].waits) continue;
    cases.push_back({i, FreeFields::kZero});
    cases.push_back({i, FreeFields::kDrawn});
  }
  return cases;
}

class HostileDevice : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override { SetFreeFields(FreeFields::kUsual); }
};

TEST_P(HostileDevice, EveryFamilyEndsRightWithinItsBound) {
  SetFreeFields(GetParam().fields);
  const Row row = Rows()[GetParam().row];
  SCOPED_TRACE(row.name);
  for (const Family& family : Families()) {
    SCOPED_TRACE(family.name);
    const int handlesBefore = raw::OpenHandles();
    {
      std::unique_ptr<HostilePeer> peer;
      std::unique_ptr<FullListener> full;
      std::uint16_t port = 0;
      if (row.place == Place::kPeer) {
        std::vector<Answer> script{row.login};
        for (int i = 0; i < family.exchanges; ++i) script.push_back(row.reply);
        peer = std::make_unique<HostilePeer>(script);
        port = peer->Port();
      } else if (row.place == Place::kFullBacklog) {
        full = std::make_unique<FullListener>();
        port = full->Port();
      } else {
        port = UnusedPort();
      }

      ICommand* command = CreateICommand();
      ASSERT_NE(command, nullptr);
      command->SetNetworkTarget("127.0.0.1", port, "admin", "admin");
      SetLastErrorCode(kSentinel);
      std::vector<Guarded> outputs;
      auto start = Clock::now();
      const bool ok = family.run(command, outputs);
      const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);

      VmlCmdOutcome outcome{};
      outcome.size = sizeof outcome;
      ASSERT_TRUE(VmlCmdGetLastOutcome(command, &outcome));
      // The combined operations leave the code alone whatever status a reply has.
      std::int32_t code = row.code;
      if (family.exchanges == 2 && outcome.exchange != VmlCmdExchangeLogin &&
          (outcome.stage == VmlCmdStageReplyStatus || outcome.stage == VmlCmdStageNotNapiDevice))
        code = kKept;
      if (outcome.stage == VmlCmdStageNotNapiDevice) {
        EXPECT_NE(outcome.replyMagic, 100);
      }

      EXPECT_EQ(ok, row.ok);
      EXPECT_EQ(LastErrorCode(), code == kKept ? kSentinel : code);
      EXPECT_EQ(outcome.resultCode, LastErrorCode());
      EXPECT_NE(std::find(row.stages.begin(), row.stages.end(), outcome.stage), row.stages.end())
          << "stage " << outcome.stage;
      // 100 ms to connect and a second for each reply, with slack for a loaded machine.
      const milliseconds bound = row.waits ? milliseconds(100 + 1000 * (1 + family.exchanges) + 1500)
                                           : milliseconds(1500 + 300 * family.exchanges);
      EXPECT_LT(elapsed, bound);
      EXPECT_LE(outcome.elapsedMicroseconds / 1000, static_cast<std::uint32_t>(elapsed.count()) + 1);
      for (const Guarded& output : outputs) {
        EXPECT_TRUE(output.Intact());
      }
      command->Release();
    }
    if (handlesBefore >= 0) {
      EXPECT_EQ(raw::OpenHandles(), handlesBefore);
    }
  }
}

std::string RowName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = Rows()[info.param.row].name;
  if (info.param.fields != FreeFields::kUsual) name += std::string(" ") + FreeFieldsName(info.param.fields);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileDevice, ::testing::ValuesIn(Cases()), RowName);

}  // namespace
}  // namespace vml::testing
