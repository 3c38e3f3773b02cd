// The operation reference against what runs: every entry's slot and declaration against the
// header, its example against the simulated device (codes, texts, length rules, success and
// status rules, refused arguments) and through vmlctl, so an entry that drifts from the library
// fails here before docs/operations.md can say something untrue.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "reference/Operations.h"
#include "support/DeviceFixture.h"
#include "ui/RecordingCommand.h"

namespace vml::testing {
namespace {

using reference::Length;
using reference::Local;
using reference::Operation;
using reference::Operations;
using reference::Status;
using reference::Success;

// What the example puts on the wire for one request, the NUL included where it is counted.
std::string Sent(const reference::Request& request, const std::vector<std::string>& values) {
  if (request.length == Length::HeaderOnly) return "";
  std::string text = reference::Fill(request.format, values);
  if (request.length == Length::CountedNul) text += '\0';
  return text;
}

std::string Collapse(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  return out;
}

TEST(ReferenceTable, CoversEverySlotInOrderAtItsPosition) {
  int next = 0;
  std::set<std::string> names;
  for (const Operation& op : Operations()) {
    EXPECT_TRUE(names.insert(op.name).second) << op.name << " twice";
    if (op.slot < 0) continue;
    EXPECT_EQ(op.slot, next) << op.name;
    EXPECT_EQ(op.tableSlot, op.slot) << op.name << " is not at its slot in the table";
    next = op.slot + 1;
  }
  EXPECT_EQ(next, 92);
  for (const char* extension :
       {"VmlCmdGetOsdCaptionEx", "VmlCmdSetSerialConfirm", "VmlCmdGetLastOutcome", "VmlCmdGetStageText"}) {
    EXPECT_EQ(names.count(extension), 1u) << extension;
  }
}

TEST(ReferenceTable, SynopsesAreTheHeadersDeclarations) {
  std::ifstream file(VMLCMD_HEADER);
  std::stringstream contents;
  contents << file.rdbuf();
  // Slot comments sit between a declaration and its end in the header; drop them first.
  std::string header;
  std::istringstream lines(contents.str());
  for (std::string line; std::getline(lines, line);) {
    const auto comment = line.find("//");
    header += (comment == std::string::npos ? line : line.substr(0, comment)) + " ";
  }
  header = Collapse(header);
  for (const Operation& op : Operations()) {
    const std::string declaration =
        op.slot >= 0 ? "virtual " + op.synopsis + " = 0;" : "VMLCMD_API " + op.synopsis + ";";
    EXPECT_NE(header.find(Collapse(declaration)), std::string::npos) << declaration;
  }
}

TEST(ReferenceTable, EveryExampleCallsItsOwnOperation) {
  for (const Operation& op : Operations()) {
    if (op.slot < 0) continue;  // the extensions take a real object
    ui::testing::RecordingCommand recorder;
    op.call(recorder);
    ASSERT_FALSE(recorder.calls.empty()) << op.name;
    EXPECT_EQ(recorder.calls.front().substr(0, recorder.calls.front().find('(')), op.name);
  }
}

// ---- Each entry against the simulated device ----------------------------------------------

class Entry : public DeviceTest, public ::testing::WithParamInterface<std::size_t> {
 protected:
  const Operation& op() const { return Operations()[GetParam()]; }
  bool Device() const { return !op().requests.empty(); }
  void PrepareReply() {
    if (!op().reply.empty()) Answer(op().requests.back().command, op().reply);
  }
};
// One suite per kind of check, each over the entries it applies to.
using Example = Entry;
using StatusEntry = Entry;
using RefusingEntry = Entry;
using DeviceEntry = Entry;
using ToolEntry = Entry;
using ReadingEntry = Entry;

template <class Predicate>
std::vector<std::size_t> Entries(Predicate applies) {
  std::vector<std::size_t> indices;
  for (std::size_t i = 0; i < Operations().size(); ++i) {
    if (applies(Operations()[i])) indices.push_back(i);
  }
  return indices;
}
bool SendsRequests(const Operation& op) { return !op.requests.empty(); }

TEST_P(Example, SendsWhatTheEntrySays) {
  const Operation& o = op();
  if (o.consumesObject) {
    ICommand* own = CreateICommand();
    ASSERT_TRUE(own->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "admin"));
    EXPECT_EQ(o.call(*own), o.expected);
    EXPECT_EQ(device.Stats().accepted, 0u);
    return;
  }
  command->SetVideoPort(o.videoPort);
  PrepareReply();
  SetLastErrorCode(kUnknownNapiError);
  EXPECT_EQ(o.call(*command), o.expected);

  if (!Device()) {
    const int32_t expected = o.local == Local::Sets9    ? kSuccess
                             : o.local == Local::Sets10 ? kNotImplemented
                                                        : kUnknownNapiError;
    EXPECT_EQ(LastErrorCode(), expected);
    EXPECT_EQ(device.Stats().accepted, 0u) << "a local operation connected";
    return;
  }
  EXPECT_EQ(LastErrorCode(), o.success == Success::Sets9 ? kSuccess : kUnknownNapiError);
  ASSERT_TRUE(device.WaitForRequests(1 + o.requests.size(), std::chrono::milliseconds(2000)));
  const auto sent = Commands();
  ASSERT_EQ(sent.size(), o.requests.size());
  ASSERT_EQ(o.wireValues.size(), o.requests.size());
  EXPECT_EQ(Logins(), 1u);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const std::string text = Sent(o.requests[i], o.wireValues[i]);
    EXPECT_EQ(sent[i].command, o.requests[i].command) << "request " << i;
    EXPECT_EQ(sent[i].text, text) << "request " << i;
    EXPECT_EQ(sent[i].textLength, static_cast<int32_t>(text.size())) << "request " << i;
    EXPECT_EQ(sent[i].raw.size(), 16 + text.size()) << "request " << i;
  }
  EXPECT_TRUE(AllClosed());
}

TEST_P(StatusEntry, ReachesTheCodeAsTheEntrySays) {
  const Operation& o = op();
  command->SetVideoPort(o.videoPort);
  device.SetFault(o.requests.front().command, napisim::Fault::WithStatus(3));
  SetLastErrorCode(kUnknownNapiError);
  EXPECT_EQ(o.call(*command), 0);
  EXPECT_EQ(LastErrorCode(), o.status == Status::Mapped ? kInvalidArgument : kUnknownNapiError);
  EXPECT_EQ(Commands().size(), 1u) << "nothing follows a refused request";
}

TEST_P(RefusingEntry, RefusesBeforeAnythingIsSent) {
  const Operation& o = op();
  SetLastErrorCode(kSuccess);
  EXPECT_EQ(o.refuse(*command), 0);
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_EQ(device.Stats().accepted, 0u);
}

TEST_P(DeviceEntry, WithoutANetworkTargetSendsNothingAndKeepsTheCode) {
  const Operation& o = op();
  ASSERT_TRUE(command->CloseLink());
  SetLastErrorCode(kWrongPassword);
  EXPECT_EQ(o.call(*command), 0);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
  EXPECT_EQ(device.Stats().accepted, 0u);
}

TEST_P(ReadingEntry, MissingValueEndsAsTheEntrySays) {
  const Operation& o = op();
  command->SetVideoPort(o.videoPort);
  Answer(o.requests.back().command, "-z 1");
  SetLastErrorCode(kUnknownNapiError);
  const std::int64_t result = o.call(*command);
  if (o.missingValueFails) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(LastErrorCode(), kUnknownNapiError);
  } else {
    EXPECT_EQ(LastErrorCode(), kSuccess) << "a reply without the values still succeeds";
  }
}

struct ToolRun {
  int status = -1;
  std::string output;
};

ToolRun Vmlctl(const std::string& arguments) {
  ToolRun run;
  FILE* pipe = popen((std::string(VMLCTL_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), got);
  const int raw = pclose(pipe);
  if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  return run;
}

TEST_P(ToolEntry, VmlctlExampleRunsTheOperation) {
  const Operation& o = op();
  PrepareReply();
  const ToolRun run = Vmlctl("--host 127.0.0.1 --port " + std::to_string(device.Port()) +
                             " --user admin --password admin " + o.vmlctl);
  EXPECT_EQ(run.status, 0) << run.output;
  if (!Device()) {
    EXPECT_TRUE(Commands().empty());
    return;
  }
  ASSERT_TRUE(device.WaitForRequests(1 + o.requests.size(), std::chrono::milliseconds(2000)));
  const auto sent = Commands();
  ASSERT_GE(sent.size(), o.requests.size()) << run.output;
  // The tool may read before it writes (set-video-settings): the example is what it sends last.
  const std::size_t first = sent.size() - o.requests.size();
  for (std::size_t i = 0; i < o.requests.size(); ++i) {
    EXPECT_EQ(sent[first + i].command, o.requests[i].command) << run.output;
    if (o.vmlctlSends) {
      EXPECT_EQ(sent[first + i].text, Sent(o.requests[i], o.wireValues[i])) << run.output;
    }
  }
}

std::string EntryName(const ::testing::TestParamInfo<std::size_t>& info) {
  const Operation& op = Operations()[info.param];
  char number[8];
  std::snprintf(number, sizeof number, "%02d", op.slot);
  return (op.slot >= 0 ? std::string("Slot") + number + "_" : std::string("Outside_")) + op.name;
}

INSTANTIATE_TEST_SUITE_P(Reference, Example, ::testing::Range<std::size_t>(0, Operations().size()),
                         EntryName);
INSTANTIATE_TEST_SUITE_P(Reference, StatusEntry, ::testing::ValuesIn(Entries([](const Operation& op) {
                           return SendsRequests(op) && op.status != Status::NoReply;
                         })),
                         EntryName);
INSTANTIATE_TEST_SUITE_P(Reference, RefusingEntry,
                         ::testing::ValuesIn(Entries([](const Operation& op) { return bool(op.refuse); })),
                         EntryName);
INSTANTIATE_TEST_SUITE_P(Reference, DeviceEntry, ::testing::ValuesIn(Entries(SendsRequests)), EntryName);
INSTANTIATE_TEST_SUITE_P(Reference, ReadingEntry,
                         ::testing::ValuesIn(Entries([](const Operation& op) { return !op.reads.empty(); })),
                         EntryName);
INSTANTIATE_TEST_SUITE_P(Reference, ToolEntry,
                         ::testing::ValuesIn(Entries([](const Operation& op) { return !op.vmlctl.empty(); })),
                         EntryName);

}  // namespace
}  // namespace vml::testing
