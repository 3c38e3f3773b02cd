// The configuration engine against simulated devices: what it reads, what it writes, and what
// it does when a device does not keep a change or drops the connection half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Engine.h"
#include "napisim/Simulator.h"

namespace {

namespace cfg = vmlcmd::config;
using napisim::Fault;

class ConfigEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    napisim::Options options;
    options.devices = 2;
    sim = std::make_unique<napisim::Simulator>(options);
    sim->Start();
    for (std::size_t i = 0; i < 2; ++i) {
      objects[i] = CreateICommand();
      ASSERT_TRUE(objects[i]->SetNetworkTarget("127.0.0.1", sim->Port(i), "admin", "admin"));
    }
  }
  void TearDown() override {
    for (ICommand* object : objects) object->Release();
  }

  ICommand& Device(std::size_t i) { return *objects[i]; }
  cfg::Target TargetOf(std::size_t i) const { return {"127.0.0.1", sim->Port(i), "admin", "admin"}; }

  // Command codes the device received, logins left out.
  std::vector<int32_t> Commands(std::size_t i) const {
    std::vector<int32_t> codes;
    for (const auto& request : sim->Requests(i)) {
      if (request.command != napisim::kLoginCommand) codes.push_back(request.command);
    }
    return codes;
  }

  static bool Has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }

  std::unique_ptr<napisim::Simulator> sim;
  ICommand* objects[2] = {nullptr, nullptr};
};

TEST_F(ConfigEngine, DocumentReadFromOneDeviceAppliedToAnotherReadsBackEqual) {
  sim->UpdateState(0, [](napisim::DeviceState& s) {
    s.serialBaud[1] = 19200;
    auto& port1 = s.videoPorts[1];
    port1.encoder.bitrate = 2048;
    port1.picture.contrast = -28;  // 100 on the document's scale
    port1.mask = {true, 10, 20, 100, 50};
    port1.motion = {true, 1, 2, 3, 4, 70};
    port1.overlay.captionShown = true;
    port1.overlay.captionPosition = 3;
    port1.overlay.caption = "gate 2";
    port1.overlay.timeShown = true;
    port1.overlay.timePosition = 8;
  });
  const cfg::ReadResult original = cfg::Read(Device(0), {0, 1});
  ASSERT_TRUE(original.Ok()) << original.errors.front();
  EXPECT_EQ(original.document["video_ports"]["1"]["picture"]["contrast"], 100);
  // Three address reads and the baud rate, then five operations a port: no field read twice.
  EXPECT_EQ(original.cost.operations, 4u + 2 * 5);

  const cfg::ApplyResult applied = cfg::Apply(Device(1), original.document, {});
  EXPECT_TRUE(applied.Ok()) << applied.failed.front();
  EXPECT_EQ(applied.verified.size(), applied.changes.size());
  // Encoder and picture differ in two fields: one combined write (code 23 then 31), not two setters.
  const std::vector<int32_t> codes = Commands(1);
  EXPECT_NE(std::find(codes.begin(), codes.end(), 23), codes.end());

  const cfg::ReadResult copy = cfg::Read(Device(1), {0, 1});
  ASSERT_TRUE(copy.Ok());
  EXPECT_EQ(copy.document, original.document);

  // A second run finds nothing to do and writes nothing.
  sim->ClearRequests(1);
  const cfg::ApplyResult again = cfg::Apply(Device(1), original.document, {});
  EXPECT_TRUE(again.Ok());
  EXPECT_TRUE(again.changes.empty());
  for (const int32_t code : Commands(1)) {
    EXPECT_TRUE(code == 5 || code == 7 || code == 22 || code == 32 || code == 26 || code == 28 || code == 30)
        << "wrote with command " << code;
  }
}

TEST_F(ConfigEngine, OneChangedFieldCostsOneReadOneWriteOneReadBack) {
  const cfg::Json wanted = cfg::Json::parse(R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})");
  const cfg::ApplyResult applied = cfg::Apply(Device(0), wanted, {});
  ASSERT_TRUE(applied.Ok());
  EXPECT_EQ(applied.cost.operations, 3u);
  EXPECT_EQ(Commands(0), (std::vector<int32_t>{22, 32, 31, 22, 32}));
  EXPECT_EQ(sim->State(0).videoPorts[0].encoder.bitrate, 1024);
}

TEST_F(ConfigEngine, WriteTheDeviceIgnoresIsReportedAndRolledBack) {
  sim->SetFault(0, 31, Fault::Ignore());
  const cfg::Json wanted = cfg::Json::parse(
      R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}, "privacy_mask": {"enabled": true}}}})");
  const cfg::ApplyResult applied = cfg::Apply(Device(0), wanted, {});
  EXPECT_FALSE(applied.Ok());
  EXPECT_TRUE(Has(applied.failed, "not applied: video_ports.0.encoder.bitrate is 512, wanted 1024"));
  EXPECT_TRUE(applied.rolledBack);
  const napisim::DeviceState state = sim->State(0);
  EXPECT_EQ(state.videoPorts[0].encoder.bitrate, 512);
  EXPECT_FALSE(state.videoPorts[0].mask.enabled);  // the change that did hold went back too

  // Without rollback the change that held stays.
  cfg::ApplyOptions keep;
  keep.rollback = false;
  const cfg::ApplyResult kept = cfg::Apply(Device(0), wanted, keep);
  EXPECT_FALSE(kept.Ok());
  EXPECT_FALSE(kept.rollbackTried);
  EXPECT_TRUE(sim->State(0).videoPorts[0].mask.enabled);
}

TEST_F(ConfigEngine, ConnectionResetInTheMiddleIsRolledBack) {
  const nlohmann::json before = sim->StateJson(0);
  // The device takes the mask write and then resets the connection, once.
  sim->SetFault(0, 29, Fault::Reset(1));
  const cfg::Json wanted = cfg::Json::parse(R"({"video_ports": {"0": {
      "encoder": {"bitrate": 1024, "frame_rate": 30}, "privacy_mask": {"enabled": true, "width": 64},
      "caption": {"show": true}}}})");
  const cfg::ApplyResult applied = cfg::Apply(Device(0), wanted, {});
  EXPECT_FALSE(applied.Ok());
  EXPECT_TRUE(Has(applied.failed, "write failed: SetMaskRegion"));
  EXPECT_TRUE(applied.rollbackTried);
  EXPECT_TRUE(applied.rolledBack);
  EXPECT_EQ(sim->StateJson(0), before);
  // The caption comes after the failed write and is never sent.
  EXPECT_FALSE(sim->State(0).videoPorts[0].overlay.captionShown);
}

TEST_F(ConfigEngine, AddressChangesOnlyWhenAllowedAndIsCheckedAtTheNewAddress) {
  // The new address is this machine's, so the device is looked for where it really is.
  const cfg::Json wanted = cfg::Json::parse(R"({"network": {"ip": "127.0.0.1"}, "serial": {"baud": 4800}})");
  const cfg::ApplyResult held = cfg::Apply(Device(0), wanted, {});
  EXPECT_FALSE(held.Ok());
  EXPECT_TRUE(Has(held.failed, "held back: network.ip"));
  EXPECT_EQ(sim->State(0).network.ip, "192.0.2.10");
  EXPECT_EQ(sim->State(0).serialBaud.at(1), 4800);

  cfg::ApplyOptions allow;
  const cfg::Target target = TargetOf(0);
  allow.allowAddressChange = true;
  allow.target = &target;
  const cfg::ApplyResult moved = cfg::Apply(Device(0), wanted, allow);
  EXPECT_TRUE(moved.Ok()) << moved.failed.front();
  EXPECT_EQ(moved.verified, std::vector<std::string>{"network.ip"});
  EXPECT_EQ(sim->State(0).network.ip, "127.0.0.1");
}

TEST_F(ConfigEngine, DeadDeviceStopsAtTheFirstFailureAndIsNotWritten) {
  sim->Stop();
  const cfg::ReadResult read = cfg::Read(Device(0), {0, 1, 2, 3});
  EXPECT_EQ(read.errors.size(), 1u);
  EXPECT_EQ(read.cost.operations, 1u);
  const cfg::ApplyResult applied =
      cfg::Apply(Device(0), cfg::Json::parse(R"({"serial": {"baud": 4800}})"), {});
  EXPECT_FALSE(applied.Ok());
  EXPECT_EQ(applied.cost.operations, 1u);
  EXPECT_FALSE(applied.rollbackTried);
}

// The schema's refusals: key, where it stands and its line, before anything is sent.
TEST(ConfigDocument, RefusalsNameFieldPathAndLine) {
  struct Case {
    const char* text;
    const char* refusal;
  };
  const Case cases[] = {
      {"{\"video_ports\": {\"0\": {\n\"encoder\": {\"bitrate\": \"fast\"}}}}",
       "bitrate: expected an integer at video_ports.0.encoder (line 2)"},
      {"{\"format\": \"vmlcmd-config 2\"}", "format: expected \"vmlcmd-config 1\" (line 1)"},
      {"{\"serial\": {\"baud\": 9600, \"parity\": 0}}", "parity: unknown key at serial (line 1)"},
      {"{\"video_ports\": {\"0\": {\"picture\": {\"hue\": 256}}}}",
       "hue: expected a whole number in 0..255 at video_ports.0.picture (line 1)"},
      {"{\"video_ports\": {\"0\": {\"encoder\": {\"bitrate\": 4294967296}}}}",
       "bitrate: expected a whole number in -2147483648..2147483647 at video_ports.0.encoder (line 1)"},
      {"{\"video_ports\": {\"0\": {\"caption\": {\"position\": 0}}}}",
       "position: expected a whole number in 1..8 at video_ports.0.caption (line 1)"},
      {"{\"video_ports\": {\"0\": {\"caption\": {\"caption\": \"a-b\"}}}}",
       "caption: does not match ^[^-]*$ at video_ports.0.caption (line 1)"},
      {"{\"video_ports\": {\"0\": {\"caption\": {\"caption\": 5}}}}",
       "caption: expected a text or an object at video_ports.0.caption (line 1)"},
      {"{\"video_ports\": {\"0\": {\"caption\": {\"caption\": {\"hex\": \"6g\"}}}}}", "hex: does not match"},
      {"{\"video_ports\": {\"0\": {\"caption\": {\"caption\": {}}}}}",
       "hex: is missing at video_ports.0.caption.caption"},
      {"{\"video_ports\": {\"0\": {\"privacy_mask\": {\"enabled\": 1}}}}",
       "enabled: expected true or false at video_ports.0.privacy_mask (line 1)"},
      {"{\"network\": {\"ip\": \"192.0.2.010\"}}",
       "ip: expected a dotted-quad IPv4 address at network (line 1)"},
      {"{\"video_ports\": {\"first\": {}}}", "first: unknown key at video_ports (line 1)"},
      {"{\"video_ports\": []}", "video_ports: expected an object (line 1)"},
      {"[1]", "document: expected an object"},
      {"{\"serial\": {\"baud\": 96", "document: not JSON"},
  };
  for (const Case& c : cases) {
    cfg::Json document;
    std::vector<cfg::Refusal> refusals;
    EXPECT_FALSE(cfg::Load(c.text, &document, &refusals)) << c.text;
    ASSERT_FALSE(refusals.empty()) << c.text;
    EXPECT_EQ(refusals.front().Text().rfind(c.refusal, 0), 0u) << refusals.front().Text();
  }
}

TEST(ConfigDocument, PortListsAndRanges) {
  std::vector<int32_t> ports;
  EXPECT_TRUE(cfg::ParsePorts("0-3", &ports));
  EXPECT_EQ(ports, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(cfg::ParsePorts("2,0,1-2", &ports));
  EXPECT_EQ(ports, (std::vector<int32_t>{0, 1, 2}));
  for (const char* bad : {"", "3-1", "a", "0,", "-1", "0-99999"})
    EXPECT_FALSE(cfg::ParsePorts(bad, &ports)) << bad;
}

}  // namespace

// Device texts: a backup of one device restored onto another writes back the very bytes it read,
// whatever they are, and a device planned against its own backup has nothing to change.
TEST_F(ConfigEngine, CaptionsSurviveABackupAndRestoreByteForByte) {
  const struct {
    const char* name;
    std::string bytes;  // as the device keeps them
    cfg::Json inDocument;
  } cases[] = {
      {"ascii", "north gate", "north gate"},
      {"chinese in code page 936", "\xC4\xCF\xC3\xC5 \xC8\xEB\xBF\xDA", "南门 入口"},
      {"fifty characters", std::string(50, 'c'), std::string(50, 'c')},
      {"bytes that are no text in code page 936", "ok\xFF\x80\xC4", cfg::Json{{"hex", "6f6bff80c4"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim->Reset();
    sim->UpdateState(0, [&](napisim::DeviceState& s) { s.videoPorts[0].overlay.caption = c.bytes; });
    const cfg::ReadResult backup = cfg::Read(Device(0), {0});
    ASSERT_TRUE(backup.Ok()) << backup.errors.front();
    EXPECT_EQ(backup.document["video_ports"]["0"]["caption"]["caption"], c.inDocument);
    // The text survives the document's own round trip through its text form.
    const cfg::Json reloaded = cfg::Json::parse(backup.document.dump());
    ASSERT_TRUE(cfg::Check(reloaded).empty());
    EXPECT_TRUE(cfg::Plan(Device(0), reloaded).changes.empty());

    const cfg::ApplyResult restored = cfg::Apply(Device(1), reloaded, {});
    ASSERT_TRUE(restored.Ok()) << restored.failed.front();
    EXPECT_EQ(sim->State(1).videoPorts[0].overlay.caption, c.bytes);
    EXPECT_TRUE(cfg::Plan(Device(1), reloaded).changes.empty());
  }
}

TEST_F(ConfigEngine, ACaptionTheDevicesEncodingCannotCarryIsRefusedBeforeAnythingIsSent) {
  const cfg::Json wanted =
      cfg::Json::parse(R"({"video_ports": {"0": {"caption": {"caption": "gate \u2603"}}}})");
  ASSERT_TRUE(cfg::Check(wanted).empty());
  sim->ClearRequests(0);
  const cfg::ApplyResult result = cfg::Apply(Device(0), wanted, {});
  ASSERT_FALSE(result.Ok());
  EXPECT_TRUE(Has(result.failed, "video_ports.0.caption.caption"));
  EXPECT_TRUE(sim->Requests(0).empty());
  // The same text is fine for a deployment whose devices keep UTF-8.
  cfg::ApplyOptions utf8;
  utf8.textEncoding = VMLCMD_TEXT_ENCODING_UTF8;
  ASSERT_TRUE(cfg::Apply(Device(0), wanted, utf8).Ok());
  EXPECT_EQ(sim->State(0).videoPorts[0].overlay.caption, "gate \xE2\x98\x83");
  EXPECT_TRUE(cfg::Plan(Device(0), wanted, VMLCMD_TEXT_ENCODING_UTF8).changes.empty());
}

// Two writers of one device: the second one's combined write would carry over values read
// before the first one changed them. It is refused instead, and nothing of it is written.
TEST_F(ConfigEngine, AWriteThatWouldUndoAnotherWritersChangeIsRefused) {
  int reads = 0;
  const uint64_t listener = sim->AddChangeListener([&] {
    // Right after this apply's first reading, another writer changes the brightness.
    const auto requests = sim->Requests(0);
    if (reads == 0 && !requests.empty() && requests.back().command == 32) {
      reads = 1;
      sim->UpdateState(0, [](napisim::DeviceState& s) { s.videoPorts[0].picture.brightness = 200; });
    }
  });
  const cfg::Json wanted =
      cfg::Json::parse(R"({"video_ports": {"0": {"encoder": {"bitrate": 1024, "frame_rate": 30}}}})");
  const cfg::ApplyResult applied = cfg::Apply(Device(0), wanted, {});
  sim->RemoveChangeListener(listener);
  ASSERT_FALSE(applied.Ok());
  EXPECT_TRUE(Has(applied.failed,
                  "changed by someone else since the plan: video_ports.0.picture.brightness: 128 -> 200"))
      << applied.failed.front();
  const napisim::DeviceState state = sim->State(0);
  EXPECT_EQ(state.videoPorts[0].picture.brightness, 200);
  EXPECT_EQ(state.videoPorts[0].encoder.bitrate, 512);
}

TEST_F(ConfigEngine, WithoutRollbackAFailedWriteIsReadBack) {
  // The device takes the write and then drops the connection before it answers.
  sim->SetFault(0, 31, Fault::Reset(1));
  cfg::ApplyOptions keep;
  keep.rollback = false;
  const cfg::ApplyResult applied = cfg::Apply(
      Device(0), cfg::Json::parse(R"({"video_ports": {"0": {"encoder": {"bitrate": 1024}}}})"), keep);
  ASSERT_FALSE(applied.Ok());
  EXPECT_TRUE(Has(applied.failed, "write failed"));
  EXPECT_TRUE(Has(applied.failed, "the failed write took: video_ports.0.encoder.bitrate is 1024"));
  EXPECT_EQ(applied.verified, std::vector<std::string>{"video_ports.0.encoder.bitrate"});
}
