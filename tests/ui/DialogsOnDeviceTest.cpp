// The dialogs' logic against the library's own object and a simulated device on loopback:
// what the user sees is what the device holds, and what the user applies arrives there.
#include <gtest/gtest.h>

#include <string>

#include "FakeView.h"
#include "VmlCmd/ICommand.h"
#include "napisim/Simulator.h"
#include "ui/DeviceConfigDialog.h"
#include "ui/VideoSettingsDialog.h"
#include "ui/resource.h"

namespace vml::ui {
namespace {

using testing::FakeView;

class DialogsOnDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    device.Start();
    command = CreateICommand();
    ASSERT_NE(command, nullptr);
    ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "admin"));
  }
  void TearDown() override {
    if (command != nullptr) command->Release();
  }

  napisim::Simulator device;
  ICommand* command = nullptr;
  DialogState state;
  FakeView view;
};

TEST_F(DialogsOnDevice, DeviceConfigurationShowsAndWritesTheDeviceSettings) {
  device.UpdateState([](napisim::DeviceState& s) {
    s.network = {"192.0.2.77", "255.255.255.128", "192.0.2.126"};
    s.serialBaud[1] = 19200;
  });
  DeviceConfigDialog dialog(state, view, NapiDeviceQueries());
  dialog.Start(command);
  EXPECT_EQ(view.texts[IDC_CONFIG_DEVICE_IP], "192.0.2.77");
  EXPECT_EQ(view.texts[IDC_CONFIG_SUBNET_MASK], "255.255.255.128");
  EXPECT_EQ(view.texts[IDC_CONFIG_GATEWAY], "192.0.2.126");
  EXPECT_EQ(view.texts[IDC_CONFIG_BAUD_RATE], "19200");
  EXPECT_EQ(view.texts[IDC_CONFIG_BSP_VERSION], std::to_string(device.State().bspVersion));

  view.texts[IDC_CONFIG_DEVICE_IP] = "192.0.2.90";
  view.texts[IDC_CONFIG_BAUD_RATE] = "4800";
  view.texts[IDC_CONFIG_PTZ1_ADDRESS] = "17";
  view.texts[IDC_CONFIG_PTZ2_ADDRESS] = "3";
  view.combos[IDC_CONFIG_PTZ2_PROTOCOL].selection = 1;
  dialog.Command(IDC_CONFIG_APPLY);

  const napisim::DeviceState after = device.State();
  EXPECT_EQ(after.network.ip, "192.0.2.90");
  EXPECT_EQ(after.serialBaud.at(1), 4800);
  EXPECT_EQ(after.ptzHeads[0].address, 17);
  EXPECT_EQ(after.ptzHeads[1].address, 3);
  EXPECT_EQ(after.ptzHeads[0].protocol, 1);
  EXPECT_EQ(after.ptzHeads[1].protocol, 2);
  dialog.Command(IDC_CANCEL_BUTTON);
}

TEST_F(DialogsOnDevice, OverlayPositionsRoundTripAndALongCaptionIsCut) {
  device.UpdateState([](napisim::DeviceState& s) {
    napisim::Overlay& overlay = s.videoPorts[0].overlay;
    overlay.captionShown = true;
    overlay.captionPosition = 3;
    overlay.caption = std::string(100, 'c');
    overlay.timeShown = true;
    overlay.timePosition = 6;
  });
  state.dialogCommand = command;
  OsdPage page(state, view);
  page.Start();
  EXPECT_EQ(view.combos[IDC_OSD_CAPTION_POSITION].selection, 2);
  EXPECT_EQ(view.combos[IDC_OSD_TIME_POSITION].selection, 5);
  EXPECT_EQ(view.texts[IDC_OSD_CAPTION], std::string(VMLCMD_CAPTION_BUFFER_SIZE - 1, 'c'));

  view.texts[IDC_OSD_CAPTION] = "North";
  page.Command(IDC_OSD_APPLY);
  const napisim::Overlay after = device.State().videoPorts[0].overlay;
  EXPECT_EQ(after.captionPosition, 3);
  EXPECT_EQ(after.caption, "North");
  EXPECT_EQ(after.timePosition, 6);
}

}  // namespace
}  // namespace vml::ui
