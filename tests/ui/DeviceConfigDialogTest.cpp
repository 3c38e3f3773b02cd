#include "ui/DeviceConfigDialog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FakeView.h"
#include "RecordingCommand.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

using testing::FakeView;
using testing::RecordingCommand;
using Calls = std::vector<std::string>;

// Answers like a device and logs into the command's log, so one log shows the whole order.
class FakeQueries final : public DeviceQueries {
 public:
  bool networkAnswered = true;
  std::int32_t bsp = 0;
  std::int32_t napi = 0;

  bool QueryNetworkConfig(ICommand& command, char* ip, char* mask, char* gateway) override {
    Log(command, "QueryNetworkConfig");
    if (!networkAnswered) return false;
    std::snprintf(ip, 40, "10.1.2.3");
    std::snprintf(mask, 40, "255.255.0.0");
    std::snprintf(gateway, 40, "10.1.0.1");
    return true;
  }
  std::int32_t QueryBspVersion(ICommand& command) override {
    Log(command, "QueryBspVersion");
    return bsp;
  }
  std::int32_t QueryNapiVersion(ICommand& command) override {
    Log(command, "QueryNapiVersion");
    return napi;
  }

 private:
  static void Log(ICommand& command, const char* name) {
    static_cast<RecordingCommand&>(command).Record(name);
  }
};

class DeviceConfig : public ::testing::Test {
 protected:
  DialogState state;
  FakeView view;
  FakeQueries queries;
  RecordingCommand command;
  DeviceConfigDialog dialog{state, view, queries};
};

TEST_F(DeviceConfig, StartFillsTheListsThenReadsBaudNetworkAndVersionsInThatOrder) {
  command.numbers["GetSerialBaudRate"] = 9600;
  queries.bsp = 20261208;
  queries.napi = 3;
  dialog.Start(&command);

  EXPECT_EQ(state.dialogCommand, &command);
  EXPECT_EQ(command.calls, (Calls{"GetSerialBaudRate()", "QueryNetworkConfig()", "QueryBspVersion()",
                                  "QueryNapiVersion()"}));
  for (int list : {IDC_CONFIG_PTZ1_PROTOCOL, IDC_CONFIG_PTZ2_PROTOCOL}) {
    EXPECT_EQ(view.combos[list].items, (Calls{"1-PECOL_P", "2-PECOL_D"}));
    EXPECT_EQ(view.combos[list].selection, 0);
  }
  EXPECT_EQ(view.texts[IDC_CONFIG_BAUD_RATE], "9600");
  EXPECT_EQ(view.texts[IDC_CONFIG_DEVICE_IP], "10.1.2.3");
  EXPECT_EQ(view.texts[IDC_CONFIG_SUBNET_MASK], "255.255.0.0");
  EXPECT_EQ(view.texts[IDC_CONFIG_GATEWAY], "10.1.0.1");
  EXPECT_EQ(view.texts[IDC_CONFIG_BSP_VERSION], "20261208");
  EXPECT_EQ(view.texts[IDC_CONFIG_NAPI_VERSION], "3");
  // The head settings are not read from the device.
  EXPECT_EQ(view.texts.count(IDC_CONFIG_PTZ1_ADDRESS), 0u);
  EXPECT_FALSE(view.ended);
}

TEST_F(DeviceConfig, FailedReadsShowZeroAndLeaveTheAddressesEmpty) {
  queries.networkAnswered = false;
  dialog.Start(&command);
  EXPECT_EQ(view.texts[IDC_CONFIG_BAUD_RATE], "0");
  EXPECT_EQ(view.texts.count(IDC_CONFIG_DEVICE_IP), 0u);
  EXPECT_EQ(view.texts.count(IDC_CONFIG_GATEWAY), 0u);
}

TEST_F(DeviceConfig, ApplySendsTheSixWritesInOrderAndStaysOpen) {
  dialog.Start(&command);
  command.calls.clear();
  view.texts[IDC_CONFIG_DEVICE_IP] = "192.168.1.20";
  view.texts[IDC_CONFIG_SUBNET_MASK] = "255.255.255.0";
  view.texts[IDC_CONFIG_GATEWAY] = "192.168.1.1";
  view.texts[IDC_CONFIG_BAUD_RATE] = "4800";
  view.texts[IDC_CONFIG_PTZ1_ADDRESS] = "7";
  view.texts[IDC_CONFIG_PTZ2_ADDRESS] = "12";
  view.combos[IDC_CONFIG_PTZ2_PROTOCOL].selection = 1;
  command.failing = {"SetNetworkConfig", "SetPtzAddress"};  // later writes still go out

  dialog.Command(IDC_CONFIG_APPLY);
  dialog.Command(IDC_CONFIG_APPLY);

  const Calls once{R"(SetNetworkConfig("192.168.1.20","255.255.255.0","192.168.1.1"))",
                   "SetPtzAddress(7,0)",
                   "SetPtzAddress(12,1)",
                   "SetSerialBaudRate(4800)",
                   "SetPtzProtocol(1,0)",
                   "SetPtzProtocol(2,1)"};
  Calls twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(command.calls, twice);
  EXPECT_FALSE(view.ended);
  EXPECT_EQ(state.dialogCommand, &command);
  // Each address is read into 40 bytes.
  EXPECT_EQ(view.textSizesAsked.at(0), 40u);
}

TEST_F(DeviceConfig, EmptyOrNonNumericFieldsSendZeroAndNoSelectionSendsProtocolZero) {
  dialog.Start(&command);
  command.calls.clear();
  view.texts[IDC_CONFIG_BAUD_RATE] = "";
  view.texts[IDC_CONFIG_PTZ1_ADDRESS] = "abc";
  view.combos[IDC_CONFIG_PTZ1_PROTOCOL].selection = -1;
  dialog.Command(IDC_CONFIG_APPLY);
  EXPECT_EQ(command.calls.at(1), "SetPtzAddress(0,0)");
  EXPECT_EQ(command.calls.at(3), "SetSerialBaudRate(0)");
  EXPECT_EQ(command.calls.at(4), "SetPtzProtocol(0,0)");
}

TEST_F(DeviceConfig, CancelClosesAndEmptiesTheSlot) {
  dialog.Start(&command);
  dialog.Command(IDC_CANCEL_BUTTON);
  EXPECT_EQ(view.endResult, 0);
  EXPECT_EQ(state.dialogCommand, nullptr);
}

}  // namespace
}  // namespace vml::ui
