// Every device operation of the table against the simulated device: the exact request, the
// success rule, the reply reading with its quirks, and set-then-get round trips through the
// device's state.
#include <cstring>
#include <functional>
#include <string>

#include "support/DeviceFixture.h"

namespace vml::testing {
namespace {

using napisim::Fault;
using Operations = DeviceTest;

struct Write {
  const char* name;
  std::function<bool(ICommand&)> call;
  int32_t code;
  std::string text;  // as sent, NUL included where it is counted
  bool keepsCode;
};

// Requests of the setters, with the video port set to 2 where the operation sends it.
const Write kWrites[] = {
    {"SetDeviceTime", [](ICommand& c) { return c.SetDeviceTime(2026, 12, 8, 10, 200, 5); }, 3,
     "-d 2026128 -t 102005", false},
    {"SetNetworkConfig",
     [](ICommand& c) { return c.SetNetworkConfig("192.0.2.5", "255.255.0.0", "192.0.2.1"); }, 4,
     "-a 192.0.2.5 -m 255.255.0.0 -g 192.0.2.1", false},
    {"SendCommand9", [](ICommand& c) { return c.SendCommand9(); }, 9, "", true},
    {"SetAccount", [](ICommand& c) { return c.SetAccount(std::string(30, 'n').c_str(), "secret"); }, 41,
     "-u " + std::string(30, 'n') + " -p secret", true},
    {"SetPortSetting", [](ICommand& c) { return c.SetPortSetting(2, 200); }, 70, "-p 2 -b 200", false},
    {"SetIpAddress", [](ICommand& c) { return c.SetIpAddress("192.0.2.7"); }, 4,
     std::string("-a 192.0.2.7\0", 13), false},
    {"SetSubnetMask", [](ICommand& c) { return c.SetSubnetMask("255.255.255.0"); }, 4, "-m 255.255.255.0",
     false},
    {"SetGateway", [](ICommand& c) { return c.SetGateway("192.0.2.1"); }, 4, "-g 192.0.2.1", false},
    {"SetPtzProtocol", [](ICommand& c) { return c.SetPtzProtocol(2, 1); }, 61, "-n 1 -p 2", false},
    {"SetPtzAddress", [](ICommand& c) { return c.SetPtzAddress(5, 0); }, 62, "-p 0 -a 5", false},
    {"SetSerialBaudRate", [](ICommand& c) { return c.SetSerialBaudRate(9600); }, 6, "-p 1 -b 9600", false},
    {"SetPtzParameters", [](ICommand& c) { return c.SetPtzParameters(3, 4); }, 62, "-p 2 -r 3 -s 4", false},
    {"PtzAuto on", [](ICommand& c) { return c.PtzAuto(true); }, 60, "-p 2 -c 11", true},
    {"PtzAuto off", [](ICommand& c) { return c.PtzAuto(false); }, 60, "-p 2 -c 12", true},
    {"PtzFocus +", [](ICommand& c) { return c.PtzFocus(1); }, 60, "-p 2 -c 9", true},
    {"PtzFocus -", [](ICommand& c) { return c.PtzFocus(-1); }, 60, "-p 2 -c 10", true},
    {"PtzPan +", [](ICommand& c) { return c.PtzPan(5); }, 60, "-p 2 -c 4", false},
    {"PtzPan -", [](ICommand& c) { return c.PtzPan(-100); }, 60, "-p 2 -c 3", false},
    {"PtzTilt +", [](ICommand& c) { return c.PtzTilt(1); }, 60, "-p 2 -c 1", false},
    {"PtzTilt -", [](ICommand& c) { return c.PtzTilt(-1); }, 60, "-p 2 -c 2", false},
    {"PtzZoom +", [](ICommand& c) { return c.PtzZoom(1); }, 60, "-p 2 -c 7", false},
    {"PtzZoom -", [](ICommand& c) { return c.PtzZoom(-1); }, 60, "-p 2 -c 8", false},
    {"PtzIris +", [](ICommand& c) { return c.PtzIris(1); }, 60, "-p 2 -c 5", false},
    {"PtzIris -", [](ICommand& c) { return c.PtzIris(-1); }, 60, "-p 2 -c 6", false},
    {"PtzStop", [](ICommand& c) { return c.PtzStop(); }, 60, "-p 2 -c 12", false},
    {"SendCommand51", [](ICommand& c) { return c.SendCommand51(3, "x", "y", 0); }, 51, "-p 3 -t x -a y -o 0",
     false},
    {"SendCommand52", [](ICommand& c) { return c.SendCommand52(-1, "", "y", -7); }, 52,
     "-p -1 -t  -a y -o -7", false},
    {"SetVideoBitrate", [](ICommand& c) { return c.SetVideoBitrate(512); }, 31,
     std::string("-p 2 -b 512\0", 12), false},
    {"SetVideoFrameRate", [](ICommand& c) { return c.SetVideoFrameRate(25); }, 31, "-p 2 -f 25", false},
    {"SetVideoIFrameInterval", [](ICommand& c) { return c.SetVideoIFrameInterval(50); }, 31, "-p 2 -i 50",
     false},
    {"SetVideoParamR", [](ICommand& c) { return c.SetVideoParamR(7); }, 31, std::string("-p 2 -r 7\0", 10),
     true},
    {"SetVideoQuantStep", [](ICommand& c) { return c.SetVideoQuantStep(20); }, 31, "-p 2 -q 20", false},
    {"SetVideoParamT", [](ICommand& c) { return c.SetVideoParamT("", 1); }, 31, "-p 1 -t ", false},
    {"SetBrightness", [](ICommand& c) { return c.SetBrightness(128); }, 21, "-p 2 -b 128", true},
    {"SetContrast", [](ICommand& c) { return c.SetContrast(199); }, 21, "-p 2 -c 71", true},
    {"SetSaturation", [](ICommand& c) { return c.SetSaturation(0); }, 21, "-p 2 -s -128", true},
    {"SetHue", [](ICommand& c) { return c.SetHue(128); }, 21, "-p 2 -h 0", false},
    {"SetMaskRegion", [](ICommand& c) { return c.SetMaskRegion(true, 10, 20, 100, 50, 99); }, 29,
     "-p 2 -b 1 -l 10 -t 20 -w 100 -h 50", true},
    {"SetMotionRegion", [](ICommand& c) { return c.SetMotionRegion(false, 10, 20, 100, 50, 3, 99); }, 29,
     "-p 2 -b 0 -l 10 -t 20 -w 100 -h 50 -d 3", true},
    {"SetOsdCaption", [](ICommand& c) { return c.SetOsdCaption(true, 2, "abc"); }, 25,
     "-p 2 -g 1 -l 3 -w abc", true},
    {"SetOsdTime", [](ICommand& c) { return c.SetOsdTime(true, 7); }, 25, "-p 2 -o 1 -t 8", true},
};

TEST_F(Operations, EverySetterSendsItsExactRequestAndFollowsItsSuccessRule) {
  command->SetVideoPort(2);
  for (const Write& write : kWrites) {
    device.ClearRequests();
    device.ClearFaults();
    SetLastErrorCode(kUnknownNapiError);
    device.SetFault(write.code, Fault::WithText(""));  // every device value accepted
    EXPECT_TRUE(write.call(*command)) << write.name;
    auto sent = LastCommand();
    EXPECT_EQ(sent.command, write.code) << write.name;
    EXPECT_EQ(sent.text, write.text) << write.name;
    EXPECT_EQ(sent.textLength, static_cast<int32_t>(write.text.size())) << write.name;
    EXPECT_EQ(sent.raw.size(), 16 + write.text.size()) << write.name;
    EXPECT_EQ(LastErrorCode(), write.keepsCode ? kUnknownNapiError : kSuccess) << write.name;

    // A refusal maps its status whatever the success rule.
    device.SetFault(write.code, Fault::WithStatus(3));
    EXPECT_FALSE(write.call(*command)) << write.name;
    EXPECT_EQ(LastErrorCode(), kInvalidArgument) << write.name;
  }
  EXPECT_TRUE(AllClosed());
}

TEST_F(Operations, ZeroDirectionsMoveNothingAndSendNothing) {
  SetLastErrorCode(kWrongPassword);
  EXPECT_FALSE(command->PtzPan(0));
  EXPECT_FALSE(command->PtzTilt(0));
  EXPECT_FALSE(command->PtzZoom(0));
  EXPECT_FALSE(command->PtzFocus(0));
  EXPECT_FALSE(command->PtzIris(0));
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
  EXPECT_EQ(device.Stats().accepted, 0u);
}

TEST_F(Operations, SendCommand8SucceedsOnceSentThoughTheDeviceNeverAnswers) {
  SetLastErrorCode(kUnknownNapiError);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(command->SendCommand8());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(LastErrorCode(), kSuccess);
  ASSERT_TRUE(device.WaitForRequests(2, std::chrono::milliseconds(2000)));
  EXPECT_EQ(LastCommand().raw.size(), 16u);
  EXPECT_EQ(LastCommand().command, 8);
  EXPECT_TRUE(AllClosed());
}

// ---- Getters: reply reading ----------------------------------------------------------------

struct Read {
  const char* name;
  std::function<int32_t(ICommand&)> call;
  int32_t code;
  std::string reply;
  int32_t expected;
  bool keepsCode;
};

const Read kReads[] = {
    {"GetVideoBitrate", [](ICommand& c) { return c.GetVideoBitrate(); }, 32, "-p 0 -b 512 -f 25", 512, false},
    {"GetVideoBitrate b512", [](ICommand& c) { return c.GetVideoBitrate(); }, 32, "b512", 512, false},
    {"GetVideoBitrate b then non-digit", [](ICommand& c) { return c.GetVideoBitrate(); }, 32,
     "-x about -b 512", 0, false},
    {"GetVideoFrameRate", [](ICommand& c) { return c.GetVideoFrameRate(); }, 32, "-f 30", 30, false},
    {"GetVideoIFrameInterval", [](ICommand& c) { return c.GetVideoIFrameInterval(); }, 32, "-i -5", -5,
     false},
    {"GetVideoParamR", [](ICommand& c) { return c.GetVideoParamR(); }, 32, "-r 9", 9, false},
    {"GetVideoQuantStep", [](ICommand& c) { return c.GetVideoQuantStep(); }, 32, "-q 31", 31, false},
    {"GetBrightness", [](ICommand& c) { return c.GetBrightness(); }, 22, "-b 128", 128, true},
    {"GetContrast", [](ICommand& c) { return c.GetContrast(); }, 22, "c 71", 199, true},
    {"GetSaturation word first", [](ICommand& c) { return c.GetSaturation(); }, 22, "-x yes -s 64", 128,
     true},
    {"GetHue", [](ICommand& c) { return c.GetHue(); }, 22, "h 0", 128, false},
    {"GetSerialBaudRate", [](ICommand& c) { return c.GetSerialBaudRate(); }, 7, "-p 1 -b 9600", 9600, false},
    {"GetSerialBaudRate second p", [](ICommand& c) { return c.GetSerialBaudRate(); }, 7, "-p 2 -b 4800 -p 1",
     4800, false},
    {"GetSerialBaudRate zero", [](ICommand& c) { return c.GetSerialBaudRate(); }, 7, "-p 1 -b 0", 0, false},
};

TEST_F(Operations, GettersReadTheFirstLetterAnywhereAndApplyTheirOffset) {
  for (const Read& read : kReads) {
    Answer(read.code, read.reply);
    SetLastErrorCode(kUnknownNapiError);
    EXPECT_EQ(read.call(*command), read.expected) << read.name;
    EXPECT_EQ(LastErrorCode(), read.keepsCode ? kUnknownNapiError : kSuccess) << read.name;
    EXPECT_EQ(LastCommand().text, read.code == 7 ? "-p 1" : "-p 0") << read.name;
  }
}

TEST_F(Operations, GettersFailWithZeroAndTheCodeKeptWhenTheirLetterIsMissing) {
  for (const Read& read : kReads) {
    Answer(read.code, "-z 1");
    SetLastErrorCode(kWrongPassword);
    EXPECT_EQ(read.call(*command), 0) << read.name;  // no offset on a failure
    EXPECT_EQ(LastErrorCode(), kWrongPassword) << read.name;
  }
  EXPECT_TRUE(AllClosed());
}

TEST_F(Operations, VersionQueriesReadThePortOneForm) {
  EXPECT_EQ(command->QueryBspVersion(), device.State().bspVersion);
  EXPECT_EQ(LastCommand().command, 1);
  EXPECT_EQ(LastCommand().text, "-p 1");
  EXPECT_EQ(command->QueryNapiVersion(), command->QueryBspVersion());
  Answer(1, "-p 2 -b 7");
  SetLastErrorCode(kWrongPassword);
  EXPECT_EQ(command->QueryBspVersion(), 0);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
}

// ---- Addresses -------------------------------------------------------------------------------

TEST_F(Operations, AddressReadersUseTheirOwnLettersAndKeepTrailingBlanks) {
  Answer(5, "-a 192.0.2.10 -m 255.255.255.0 -g 192.0.2.1");
  char ip[VMLCMD_ADDRESS_BUFFER_SIZE] = "untouched";
  EXPECT_TRUE(command->GetIpAddress(ip));  // only an 'a' entry: GetIpAddress reads 'i'
  EXPECT_STREQ(ip, "untouched");
  char mask[VMLCMD_ADDRESS_BUFFER_SIZE];
  EXPECT_TRUE(command->GetSubnetMask(mask));
  EXPECT_STREQ(mask, "255.255.255.0 ");
  EXPECT_EQ(LastCommand().raw.size(), 16u);
  char a[40], m[40], g[40];
  EXPECT_TRUE(command->QueryNetworkConfig(a, m, g));
  EXPECT_STREQ(a, "192.0.2.10 ");
  EXPECT_STREQ(g, "192.0.2.1");

  Answer(5, "-i 192.0.2.99-i 192.0.2.100");  // the last entry wins
  std::strcpy(a, "untouched");
  EXPECT_TRUE(command->GetIpAddress(ip));
  EXPECT_STREQ(ip, "192.0.2.100");
  EXPECT_TRUE(command->QueryNetworkConfig(a, m, g));
  EXPECT_STREQ(a, "untouched");
}

TEST_F(Operations, AddressOutputsAreBoundedToSixteenBytes) {
  Answer(5, "-g 1234567890123456789012345");
  char gateway[VMLCMD_ADDRESS_BUFFER_SIZE + 4];
  std::memset(gateway, 'x', sizeof gateway);
  EXPECT_TRUE(command->GetGateway(gateway));
  EXPECT_EQ(std::string(gateway), "123456789012345");
  EXPECT_EQ(gateway[VMLCMD_ADDRESS_BUFFER_SIZE], 'x');
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command->GetGateway(nullptr));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
}

TEST_F(Operations, NetworkSettingsRoundTripThroughTheDevice) {
  ASSERT_TRUE(command->SetNetworkConfig("192.0.2.20", "255.255.0.0", "192.0.2.254"));
  char ip[16], mask[16], gateway[16];
  ASSERT_TRUE(command->GetIpAddress(ip));
  ASSERT_TRUE(command->GetSubnetMask(mask));
  ASSERT_TRUE(command->GetGateway(gateway));
  EXPECT_STREQ(ip, "192.0.2.20");
  EXPECT_STREQ(mask, "255.255.0.0");
  EXPECT_STREQ(gateway, "192.0.2.254");
  ASSERT_TRUE(command->SetIpAddress("192.0.2.21"));
  EXPECT_EQ(device.State().network.ip, "192.0.2.21");
  EXPECT_FALSE(command->SetIpAddress("not an address"));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
}

// ---- Regions and overlay --------------------------------------------------------------------

TEST_F(Operations, RegionGettersStopAtTheFirstMissingLetter) {
  Answer(30, "-b 1 -l 5 -t 6");
  bool enabled = false;
  int32_t left = 0, top = 0, width = -1, height = -1;
  SetLastErrorCode(kWrongPassword);
  EXPECT_FALSE(command->GetMaskRegion(&enabled, &left, &top, &width, &height, 0));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(left, 5);
  EXPECT_EQ(top, 6);
  EXPECT_EQ(width, -1);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);

  Answer(30, "-b 0 -l 5 -t 6 -w 7 -h 8");
  EXPECT_TRUE(command->GetMaskRegion(&enabled, &left, &top, &width, &height, 0));
  EXPECT_FALSE(enabled);
  EXPECT_EQ(height, 8);
  EXPECT_EQ(LastErrorCode(), kSuccess);
  Answer(28, "-b 0 -l 5 -t 6 -w 7 -h 8");  // no d: the motion reading fails
  int32_t sensitivity = -1;
  EXPECT_FALSE(command->GetMotionRegion(&enabled, &left, &top, &width, &height, &sensitivity, 0));
  EXPECT_EQ(sensitivity, -1);
  EXPECT_FALSE(command->GetMotionRegion(&enabled, &left, &top, &width, nullptr, &sensitivity, 0));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
}

TEST_F(Operations, RegionsRoundTripThroughTheDevice) {
  command->SetVideoPort(1);
  ASSERT_TRUE(command->SetMaskRegion(true, 10, 20, 100, 50, 0));
  ASSERT_TRUE(command->SetMotionRegion(true, 1, 2, 3, 4, 5, 0));
  bool enabled = false;
  int32_t l = 0, t = 0, w = 0, h = 0, d = 0;
  ASSERT_TRUE(command->GetMaskRegion(&enabled, &l, &t, &w, &h, 0));
  EXPECT_EQ((std::vector<int32_t>{enabled, l, t, w, h}), (std::vector<int32_t>{1, 10, 20, 100, 50}));
  ASSERT_TRUE(command->GetMotionRegion(&enabled, &l, &t, &w, &h, &d, 0));
  EXPECT_EQ((std::vector<int32_t>{enabled, l, t, w, h, d}), (std::vector<int32_t>{1, 1, 2, 3, 4, 5}));
}

TEST_F(Operations, CaptionReadingUsesTokensAndNumbersFromTheSecondCharacter) {
  bool show = false;
  int32_t position = 0;
  char caption[VMLCMD_CAPTION_BUFFER_SIZE] = "untouched";
  Answer(26, "-p 0 -g 1 -l 3 -w abc");
  ASSERT_TRUE(command->GetOsdCaption(&show, &position, caption));
  EXPECT_TRUE(show);
  EXPECT_EQ(position, 3);
  EXPECT_STREQ(caption, "abc");

  Answer(26, "-w hello -x 1");
  ASSERT_TRUE(command->GetOsdCaption(&show, &position, caption));
  EXPECT_STREQ(caption, "hello ");

  Answer(26, "-p 0 -x 1");
  std::strcpy(caption, "kept");
  show = false;
  SetLastErrorCode(kWrongPassword);
  ASSERT_TRUE(command->GetOsdCaption(&show, &position, caption));
  EXPECT_STREQ(caption, "kept");
  EXPECT_FALSE(show);
  EXPECT_EQ(LastErrorCode(), kSuccess);
}

TEST_F(Operations, CaptionOutputIsBoundedAndTheExtensionTakesAnyBuffer) {
  std::string longCaption(120, 'c');
  Answer(26, "-g 1 -l 2 -w " + longCaption);
  bool show = false;
  int32_t position = 0;
  char caption[VMLCMD_CAPTION_BUFFER_SIZE + 8];
  std::memset(caption, 'x', sizeof caption);
  ASSERT_TRUE(command->GetOsdCaption(&show, &position, caption));
  EXPECT_EQ(std::string(caption), std::string(VMLCMD_CAPTION_BUFFER_SIZE - 1, 'c'));
  EXPECT_EQ(caption[VMLCMD_CAPTION_BUFFER_SIZE], 'x');

  char wide[200];
  ASSERT_TRUE(VmlCmdGetOsdCaptionEx(command, &show, &position, wide, sizeof wide));
  EXPECT_EQ(std::string(wide), longCaption);
  EXPECT_FALSE(VmlCmdGetOsdCaptionEx(command, &show, &position, wide, 0));
  EXPECT_FALSE(command->GetOsdCaption(&show, nullptr, caption));
}

TEST_F(Operations, ClockReadingTakesTheFirstTAnywhere) {
  bool show = false;
  int32_t position = -1;
  Answer(26, "-o 1 -w text -t 8");
  ASSERT_TRUE(command->GetOsdTime(&show, &position));
  EXPECT_TRUE(show);
  EXPECT_EQ(position, 0);  // the t of "text"
  Answer(26, "-o 1 -x 2");
  show = false;
  position = -1;
  SetLastErrorCode(kWrongPassword);
  EXPECT_FALSE(command->GetOsdTime(&show, &position));
  EXPECT_TRUE(show);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
}

TEST_F(Operations, OverlayRoundTripsThroughTheDevice) {
  ASSERT_TRUE(command->SetOsdCaption(true, 4, "Gate 2"));
  ASSERT_TRUE(command->SetOsdTime(false, 0));
  bool show = false;
  int32_t position = 0;
  char caption[VMLCMD_CAPTION_BUFFER_SIZE];
  ASSERT_TRUE(command->GetOsdCaption(&show, &position, caption));
  EXPECT_TRUE(show);
  EXPECT_EQ(position, 5);
  EXPECT_STREQ(caption, "Gate 2");
  ASSERT_TRUE(command->GetOsdTime(&show, &position));
  EXPECT_FALSE(show);
  EXPECT_EQ(position, 1);
}

// ---- Video ---------------------------------------------------------------------------------

TEST_F(Operations, SingleValuesRoundTripOnTheCallersScale) {
  command->SetVideoPort(3);
  ASSERT_TRUE(command->SetVideoBitrate(1024));
  ASSERT_TRUE(command->SetVideoFrameRate(15));
  ASSERT_TRUE(command->SetContrast(199));
  ASSERT_TRUE(command->SetHue(0));
  EXPECT_EQ(command->GetVideoBitrate(), 1024);
  EXPECT_EQ(command->GetVideoFrameRate(), 15);
  EXPECT_EQ(command->GetContrast(), 199);
  EXPECT_EQ(command->GetHue(), 0);
  EXPECT_EQ(device.State().videoPorts[3].picture.contrast, 71);
  EXPECT_EQ(device.State().videoPorts[3].picture.hue, -128);
  command->SetVideoPort(9);
  EXPECT_FALSE(command->SetVideoBitrate(512));
  EXPECT_EQ(LastErrorCode(), kWrongVideoPort);
}

TEST_F(Operations, RestoreVideoDefaultsSendsTwoExchangesOnOneLogin) {
  ASSERT_TRUE(command->RestoreVideoDefaults());
  auto sent = Commands();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Logins(), 1u);
  EXPECT_EQ(sent[0].command, 21);
  EXPECT_EQ(sent[0].text, "-p 0 -b 128 -c 71 -s 64 -h 0 ");
  EXPECT_EQ(sent[0].raw.size(), 45u);
  EXPECT_EQ(sent[1].command, 31);
  EXPECT_EQ(sent[1].text, "-p 0 -r 1 -f 25 -b 512 -q 31 -i 100");
  EXPECT_EQ(sent[1].raw.size(), 51u);
  EXPECT_EQ(sent[0].connection, sent[1].connection);
  EXPECT_TRUE(AllClosed());
}

TEST_F(Operations, CombinedSettingsTravelAsDeviceValues) {
  VideoSettings settings{77, 0, 2048, 20, 50, 25, 3, 100, 10, -20, 0};
  ASSERT_TRUE(command->SetVideoSettings(&settings));
  auto sent = Commands();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, 23);
  EXPECT_EQ(sent[0].text, "-p 0 -b 100 -c 10 -s -20 -h 0 ");
  EXPECT_EQ(sent[1].text, "-p 0 -r 3 -f 20 -b 2048 -q 25 -i 50");
  EXPECT_EQ(command->GetHue(), 128);

  VideoSettings read{};
  read.spare = 1234;
  ASSERT_TRUE(command->GetVideoSettings(&read));
  EXPECT_EQ(read.spare, 1234);
  EXPECT_EQ((std::vector<int32_t>{read.bitrate, read.frameRate, read.iFrameInterval, read.quantStep,
                                  read.paramR, read.brightness, read.contrast, read.saturation, read.hue}),
            (std::vector<int32_t>{2048, 20, 50, 25, 3, 100, 10, -20, 0}));
}

TEST_F(Operations, CombinedFailuresKeepTheCodeAndWhatWasReadBefore) {
  VideoSettings settings{};
  device.SetFault(23, Fault::WithStatus(3));
  SetLastErrorCode(kWrongPassword);
  EXPECT_FALSE(command->SetVideoSettings(&settings));
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
  EXPECT_EQ(Commands().size(), 1u);

  device.ClearRequests();
  Answer(22, "-b 1 -c 2 -s 3");
  VideoSettings read{};
  read.hue = 55;
  read.bitrate = 66;
  EXPECT_FALSE(command->GetVideoSettings(&read));
  EXPECT_EQ((std::vector<int32_t>{read.brightness, read.contrast, read.saturation, read.hue, read.bitrate}),
            (std::vector<int32_t>{1, 2, 3, 55, 66}));
  EXPECT_EQ(Commands().size(), 1u);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
  EXPECT_FALSE(command->GetVideoSettings(nullptr));
  EXPECT_FALSE(command->SetVideoSettings(nullptr));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_TRUE(AllClosed());
}

// ---- Settings ------------------------------------------------------------------------------

TEST_F(Operations, DeviceSettingsRoundTripThroughTheDevice) {
  ASSERT_TRUE(command->SetSerialBaudRate(19200));
  EXPECT_EQ(command->GetSerialBaudRate(), 19200);
  ASSERT_TRUE(command->SetPtzProtocol(2, 1));
  ASSERT_TRUE(command->SetPtzAddress(17, 1));
  EXPECT_EQ(device.State().ptzHeads[1].protocol, 2);
  EXPECT_EQ(device.State().ptzHeads[1].address, 17);
  // The account changes only the device: this object keeps its own login.
  ASSERT_TRUE(command->SetAccount("operator", "pw"));
  EXPECT_TRUE(command->PtzStop());
  EXPECT_EQ(Commands().back().text, "-p 0 -c 12");
  EXPECT_EQ(device.Requests().back().connection, device.Requests().front().connection + 5);
}

}  // namespace
}  // namespace vml::testing
