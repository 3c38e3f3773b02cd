// The flat C interface against the operation table: every device operation of the table has its
// function, named after it, and that function sends what the table's example sends and reads
// what it reads; statuses come from the handle's own record; texts cross as UTF-8.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "VmlCmd/vmlcmd.h"
#include "capi/Names.h"
#include "reference/Operations.h"
#include "support/DeviceFixture.h"

namespace vml::testing {
namespace {

using reference::Length;
using reference::Operation;
using reference::Operations;

using capi::Snake;

bool TalksToDevice(const Operation& op) { return op.slot >= 0 && !op.requests.empty(); }

// The table's example of each device operation, through the C function: the same arguments,
// and a result comparable with the example's (1 for success, the value for a getter, 1 when
// the outputs are what the example checks).
using Call = std::function<std::int64_t(vmlcmd_device*, int& status)>;
#define SETTER(...) \
  [](vmlcmd_device* d, int& status) -> std::int64_t { return (status = (__VA_ARGS__)) == 0; }
#define GETTER(function)                              \
  [](vmlcmd_device* d, int& status) -> std::int64_t { \
    int value = -999;                                 \
    status = function(d, &value);                     \
    return value;                                     \
  }

const std::map<std::string, Call>& Calls() {
  static const std::map<std::string, Call> calls = {
      {"set_device_time", SETTER(vmlcmd_set_device_time(d, 2026, 12, 8, 10, 30, 5))},
      {"set_network_config", SETTER(vmlcmd_set_network_config(d, "192.0.2.5", "255.255.0.0", "192.0.2.1"))},
      {"send_command_8", SETTER(vmlcmd_send_command_8(d))},
      {"send_command_9", SETTER(vmlcmd_send_command_9(d))},
      {"set_account", SETTER(vmlcmd_set_account(d, "operator", "secret"))},
      {"set_port_setting", SETTER(vmlcmd_set_port_setting(d, 2, 200))},
      {"set_ip_address", SETTER(vmlcmd_set_ip_address(d, "192.0.2.7"))},
      {"get_ip_address",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         char ip[16];
         status = vmlcmd_get_ip_address(d, ip, sizeof ip);
         return status == 0 && std::strcmp(ip, "192.0.2.10") == 0;
       }},
      {"set_subnet_mask", SETTER(vmlcmd_set_subnet_mask(d, "255.255.255.0"))},
      {"get_subnet_mask",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         char mask[16];
         status = vmlcmd_get_subnet_mask(d, mask, sizeof mask);
         return status == 0 && std::strlen(mask) > 0;
       }},
      {"set_gateway", SETTER(vmlcmd_set_gateway(d, "192.0.2.1"))},
      {"get_gateway",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         char gateway[16];
         status = vmlcmd_get_gateway(d, gateway, sizeof gateway);
         return status == 0 && std::strlen(gateway) > 0;
       }},
      {"set_ptz_protocol", SETTER(vmlcmd_set_ptz_protocol(d, 2, 1))},
      {"set_ptz_address", SETTER(vmlcmd_set_ptz_address(d, 5, 0))},
      {"set_serial_baud_rate", SETTER(vmlcmd_set_serial_baud_rate(d, 9600))},
      {"get_serial_baud_rate", GETTER(vmlcmd_get_serial_baud_rate)},
      {"get_bsp_version", GETTER(vmlcmd_get_bsp_version)},
      {"get_napi_version", GETTER(vmlcmd_get_napi_version)},
      {"ptz_auto", SETTER(vmlcmd_ptz_auto(d, 1))},
      {"ptz_focus", SETTER(vmlcmd_ptz_focus(d, -1))},
      {"ptz_pan", SETTER(vmlcmd_ptz_pan(d, -1))},
      {"ptz_tilt", SETTER(vmlcmd_ptz_tilt(d, -1))},
      {"ptz_zoom", SETTER(vmlcmd_ptz_zoom(d, -1))},
      {"ptz_iris", SETTER(vmlcmd_ptz_iris(d, -1))},
      {"ptz_stop", SETTER(vmlcmd_ptz_stop(d))},
      {"send_command_51", SETTER(vmlcmd_send_command_51(d, 3, "x", "y", 0))},
      {"send_command_52", SETTER(vmlcmd_send_command_52(d, -1, "", "y", -7))},
      {"set_video_bitrate", SETTER(vmlcmd_set_video_bitrate(d, 1024))},
      {"get_video_bitrate", GETTER(vmlcmd_get_video_bitrate)},
      {"set_video_frame_rate", SETTER(vmlcmd_set_video_frame_rate(d, 15))},
      {"get_video_frame_rate", GETTER(vmlcmd_get_video_frame_rate)},
      {"set_video_i_frame_interval", SETTER(vmlcmd_set_video_i_frame_interval(d, 50))},
      {"get_video_i_frame_interval", GETTER(vmlcmd_get_video_i_frame_interval)},
      {"set_video_param_r", SETTER(vmlcmd_set_video_param_r(d, 7))},
      {"get_video_param_r", GETTER(vmlcmd_get_video_param_r)},
      {"set_brightness", SETTER(vmlcmd_set_brightness(d, 140))},
      {"get_brightness", GETTER(vmlcmd_get_brightness)},
      {"set_contrast", SETTER(vmlcmd_set_contrast(d, 199))},
      {"get_contrast", GETTER(vmlcmd_get_contrast)},
      {"set_saturation", SETTER(vmlcmd_set_saturation(d, 192))},
      {"get_saturation", GETTER(vmlcmd_get_saturation)},
      {"set_hue", SETTER(vmlcmd_set_hue(d, 0))},
      {"get_hue", GETTER(vmlcmd_get_hue)},
      {"set_mask_region", SETTER(vmlcmd_set_mask_region(d, 1, 10, 20, 100, 50))},
      {"get_mask_region",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         int e = 0, l = 0, t = 0, w = 0, h = 0;
         status = vmlcmd_get_mask_region(d, &e, &l, &t, &w, &h);
         return e == 1 && l == 5 && t == 6 && w == 7 && h == 8;
       }},
      {"set_motion_region", SETTER(vmlcmd_set_motion_region(d, 1, 10, 20, 100, 50, 3))},
      {"get_motion_region",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         int e = 1, l = 0, t = 0, w = 0, h = 0, s = 0;
         status = vmlcmd_get_motion_region(d, &e, &l, &t, &w, &h, &s);
         return e == 0 && l == 5 && s == 3;
       }},
      // The table takes the position index 2; the C interface the position 3 it stands for.
      {"set_osd_caption", SETTER(vmlcmd_set_osd_caption(d, 1, 3, "Gate 2"))},
      {"get_osd_caption",
       [](vmlcmd_device* d, int& status) -> std::int64_t {
         int show = 0, position = 0;
         char text[64];
         status = vmlcmd_get_osd_caption(d, &show, &position, text, sizeof text);
         return show == 1 && position == 3 && std::strcmp(text, "abc") == 0;
       }},
      {"set_osd_time", SETTER(vmlcmd_set_osd_time(d, 1, 8))},
      {"get_osd_time",
       [](vmlcmd_device* d, int& status) -> std::
                                             int64_t {
                                               int show = 0, position = 0;
                                               status = vmlcmd_get_osd_time(d, &show, &position);
                                               return show == 1 && position == 8;
                                             }},
      {"set_video_quant_step", SETTER(vmlcmd_set_video_quant_step(d, 20))},
      {"get_video_quant_step", GETTER(vmlcmd_get_video_quant_step)},
      {"get_video_settings",
       [](vmlcmd_device* d, int& status) -> std::
                                             int64_t {
                                               vmlcmd_video_settings s{};
                                               s.size = sizeof s;
                                               status = vmlcmd_get_video_settings(d, &s);
                                               return s.bitrate == 512 && s.contrast == 71;
                                             }},
      {"set_video_settings",
       [](vmlcmd_device* d, int& status) -> std::
                                             int64_t {
                                               const vmlcmd_video_settings s{sizeof s, 0,   1024, 25, 100, 31,
                                                                             1,        128, 71,   64, 0};
                                               return (status = vmlcmd_set_video_settings(d, &s)) == 0;
                                             }},
      {"restore_video_defaults", SETTER(vmlcmd_restore_video_defaults(d))},
      {"set_ptz_parameters", SETTER(vmlcmd_set_ptz_parameters(d, 3, 4))},
      {"set_video_param_t", SETTER(vmlcmd_set_video_param_t(d, "12", 1))},
  };
  return calls;
}

// The functions vmlcmd.h declares.
std::set<std::string> Declared() {
  std::ifstream file(VMLCMD_C_HEADER);
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  std::set<std::string> names;
  const std::regex declaration("VMLCMD_CALL\\s+vmlcmd_([a-z0-9_]+)\\(");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    names.insert((*it)[1]);
  }
  return names;
}

TEST(CInterfaceTable, EveryDeviceOperationHasItsFunctionAndNoFunctionIsExtra) {
  std::set<std::string> expected = {"device_open", "device_close", "set_video_port", "last_result",
                                    "status_text", "version", "text_encoding", "text_to_device",
                                    "text_from_device", "set_text_encoding",
                                    // The version queries, device operations outside the table.
                                    "get_bsp_version", "get_napi_version"};
  for (const Operation& op : Operations()) {
    if (!TalksToDevice(op)) continue;
    const std::string name = Snake(op.name);
    expected.insert(name);
    EXPECT_EQ(Calls().count(name), 1u) << "no walk through vmlcmd_" << name;
  }
  EXPECT_EQ(Declared(), expected);
  for (const auto& [name, call] : Calls())
    EXPECT_EQ(expected.count(name), 1u) << name << " is no device operation";
}

TEST(CInterfaceTable, VersionAndTextsNeedNoHandle) {
  EXPECT_EQ(vmlcmd_version(),
            VMLCMD_VERSION_MAJOR * 10000 + VMLCMD_VERSION_MINOR * 100 + VMLCMD_VERSION_PATCH);
  EXPECT_STREQ(vmlcmd_status_text(0), "success");
  EXPECT_STREQ(vmlcmd_status_text(VMLCMD_STATUS_LOGIN_REFUSED), "login refused");
  EXPECT_STREQ(vmlcmd_status_text(1), "unknown status") << "stage 1 is success, never a status";
  EXPECT_STREQ(vmlcmd_status_text(-5), "unknown status");
}

class CInterface : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(vmlcmd_device_open("127.0.0.1", device.Port(), "admin", "admin", &handle), 0);
  }
  void TearDown() override {
    vmlcmd_device_close(handle);
    DeviceTest::TearDown();
  }
  vmlcmd_result Last() {
    vmlcmd_result result{};
    result.size = sizeof result;
    EXPECT_EQ(vmlcmd_last_result(handle, &result), 0);
    return result;
  }
  vmlcmd_device* handle = nullptr;
};

class Walk : public CInterface, public ::testing::WithParamInterface<std::size_t> {
 protected:
  const Operation& op() const { return Operations()[GetParam()]; }
  const Call& call() const { return Calls().at(Snake(op().name)); }
};

std::string Sent(const reference::Request& request, const std::vector<std::string>& values) {
  if (request.length == Length::HeaderOnly) return "";
  std::string text = reference::Fill(request.format, values);
  if (request.length == Length::CountedNul) text += '\0';
  return text;
}

TEST_P(Walk, SendsAndReadsWhatTheTableSays) {
  const Operation& o = op();
  ASSERT_EQ(vmlcmd_set_video_port(handle, o.videoPort), 0);
  if (!o.reply.empty()) Answer(o.requests.back().command, o.reply);
  int status = -1;
  EXPECT_EQ(call()(handle, status), o.expected);
  EXPECT_EQ(status, 0) << vmlcmd_status_text(status);
  EXPECT_EQ(Last().status, 0);
  ASSERT_TRUE(device.WaitForRequests(1 + o.requests.size(), std::chrono::milliseconds(2000)));
  const auto sent = Commands();
  ASSERT_EQ(sent.size(), o.requests.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].command, o.requests[i].command) << "request " << i;
    EXPECT_EQ(sent[i].text, Sent(o.requests[i], o.wireValues[i])) << "request " << i;
  }
}

TEST_P(Walk, ARefusedRequestIsTheReplyStatusStage) {
  const Operation& o = op();
  if (o.status == reference::Status::NoReply) GTEST_SKIP() << "reads no reply";
  device.SetFault(o.requests.front().command, napisim::Fault::WithStatus(3));
  int status = -1;
  call()(handle, status);
  EXPECT_EQ(status, VMLCMD_STATUS_REPLY_STATUS);
  const vmlcmd_result last = Last();
  EXPECT_EQ(last.status, VMLCMD_STATUS_REPLY_STATUS);
  EXPECT_EQ(last.reply_status, 3);
  EXPECT_EQ(last.exchange, 2);
}

TEST_P(Walk, AClosedPortIsTheConnectRefusedStage) {
  device.Stop();
  int status = -1;
  call()(handle, status);
  EXPECT_EQ(status, VMLCMD_STATUS_CONNECT_REFUSED);
}

std::string WalkName(const ::testing::TestParamInfo<std::size_t>& info) {
  return Operations()[info.param].name;
}

std::vector<std::size_t> DeviceOperations() {
  std::vector<std::size_t> indices;
  for (std::size_t i = 0; i < Operations().size(); ++i) {
    if (TalksToDevice(Operations()[i]) && Calls().count(Snake(Operations()[i].name)) == 1)
      indices.push_back(i);
  }
  return indices;
}
INSTANTIATE_TEST_SUITE_P(Table, Walk, ::testing::ValuesIn(DeviceOperations()), WalkName);

// ---- Statuses and arguments -----------------------------------------------------------------

TEST_F(CInterface, AWrongPasswordIsTheLoginRefusedStageWithTheDevicesStatus) {
  vmlcmd_device* intruder = nullptr;
  ASSERT_EQ(vmlcmd_device_open("127.0.0.1", device.Port(), "admin", "wrong", &intruder), 0);
  int bitrate = 77;
  EXPECT_EQ(vmlcmd_get_video_bitrate(intruder, &bitrate), VMLCMD_STATUS_LOGIN_REFUSED);
  EXPECT_EQ(bitrate, 77) << "outputs are written only on success";
  vmlcmd_result result{};
  result.size = sizeof result;
  ASSERT_EQ(vmlcmd_last_result(intruder, &result), 0);
  EXPECT_EQ(result.reply_status, 7);
  EXPECT_EQ(result.exchange, 1);
  // The other handle's record is its own.
  EXPECT_EQ(Last().status, 0);
  vmlcmd_device_close(intruder);
}

TEST_F(CInterface, RefusedArgumentsSendNothing) {
  int value = 0;
  char text[8];
  EXPECT_EQ(vmlcmd_get_video_bitrate(handle, nullptr), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(Last().status, VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_get_ip_address(handle, text, 0), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_set_osd_time(handle, 1, 0), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_set_osd_caption(handle, 1, 9, "x"), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_set_device_time(handle, 2026, 256, 1, 0, 0, 0), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_set_ip_address(handle, nullptr), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_ptz_pan(handle, 0), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_set_osd_caption(handle, 1, 1, std::string(300, 'a').c_str()),
            VMLCMD_STATUS_ARGUMENT_REFUSED);
  vmlcmd_video_settings old{};
  old.size = sizeof old - 4;  // a record this library does not know
  EXPECT_EQ(vmlcmd_get_video_settings(handle, &old), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_get_video_bitrate(nullptr, &value), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(device.Stats().accepted, 0u);

  vmlcmd_device* none = reinterpret_cast<vmlcmd_device*>(&value);
  EXPECT_EQ(vmlcmd_device_open("127.0.0.1", 1, "admin", "admin", nullptr), VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(vmlcmd_device_open("127.0.0.1", 1, std::string(60, 'u').c_str(), "admin", &none),
            VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(vmlcmd_device_open("127.0.0.1", 65536, "admin", "admin", &none), VMLCMD_STATUS_ARGUMENT_REFUSED);
  vmlcmd_device_close(nullptr);
}

TEST_F(CInterface, AnOlderResultRecordGetsItsFirstFields) {
  ASSERT_EQ(vmlcmd_set_osd_time(handle, 1, 9), VMLCMD_STATUS_ARGUMENT_REFUSED);
  struct {
    vmlcmd_result head;
    int guard;
  } older{};
  older.head.size = 8;
  older.head.reply_status = -1;
  older.guard = -1;
  ASSERT_EQ(vmlcmd_last_result(handle, &older.head), 0);
  EXPECT_EQ(older.head.status, VMLCMD_STATUS_ARGUMENT_REFUSED);
  EXPECT_EQ(older.head.reply_status, -1) << "beyond the caller's size";
  older.head.size = 4;
  EXPECT_EQ(vmlcmd_last_result(handle, &older.head), VMLCMD_STATUS_ARGUMENT_REFUSED);
}

// ---- Texts ----------------------------------------------------------------------------------

constexpr char kGate[] = "南门 入口";                             // UTF-8
constexpr char kGateGbk[] = "\xC4\xCF\xC3\xC5 \xC8\xEB\xBF\xDA";  // the same in code page 936

TEST_F(CInterface, AChineseCaptionTravelsAsCodePage936AndComesBackAsUtf8) {
  ASSERT_EQ(vmlcmd_set_osd_caption(handle, 1, 2, kGate), 0);
  EXPECT_EQ(LastCommand().text, std::string("-p 0 -g 1 -l 2 -w ") + kGateGbk);
  EXPECT_EQ(device.State().videoPorts.at(0).overlay.caption, kGateGbk);
  int show = 0, position = 0;
  char text[64];
  ASSERT_EQ(vmlcmd_get_osd_caption(handle, &show, &position, text, sizeof text), 0);
  EXPECT_STREQ(text, kGate);
  EXPECT_EQ(show, 1);
  EXPECT_EQ(position, 2);
}

TEST_F(CInterface, AnOutputIsCutAtAWholeCharacter) {
  Answer(26, std::string("-g 1 -l 2 -w ") + kGateGbk);
  int show = 0, position = 0;
  char text[8];
  // 南 and 门 take three bytes each: seven bytes hold 南门 and the NUL, five only 南.
  ASSERT_EQ(vmlcmd_get_osd_caption(handle, &show, &position, text, 7), 0);
  EXPECT_STREQ(text, "南门");
  ASSERT_EQ(vmlcmd_get_osd_caption(handle, &show, &position, text, 6), 0);
  EXPECT_STREQ(text, "南");
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(vmlcmd_get_osd_caption(handle, &show, &position, text, 3), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(std::string(text + 1, 7), "xxxxxxx") << "nothing beyond the NUL";
}

TEST_F(CInterface, AByteTheCodePageLacksBecomesTheReplacementCharacter) {
  Answer(26,
         "-g 1 -l 2 -w a\xFF"
         "b");
  int show = 0, position = 0;
  char text[16];
  ASSERT_EQ(vmlcmd_get_osd_caption(handle, &show, &position, text, sizeof text), 0);
  EXPECT_STREQ(text,
               "a\xEF\xBF\xBD"
               "b");
}

TEST_F(CInterface, ATextTheCodePageCannotCarryIsRefusedAndNothingIsSent) {
  for (const char* text :
       {"smile \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC\xE0\xB8\x81", "bad \xFF utf-8", "cut \xE5\x8D"}) {
    EXPECT_EQ(vmlcmd_set_osd_caption(handle, 1, 1, text), VMLCMD_STATUS_ARGUMENT_REFUSED) << text;
    EXPECT_EQ(Last().exchange, 0);
    EXPECT_EQ(vmlcmd_send_command_51(handle, 1, "x", text, 0), VMLCMD_STATUS_ARGUMENT_REFUSED) << text;
  }
  EXPECT_EQ(device.Stats().accepted, 0u);
}

}  // namespace
}  // namespace vml::testing
