// The serial link on a pseudo-terminal standing in for "comN".
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"
#include "platform/posix/SerialDevice.h"
#include "support/Descriptors.h"

namespace vml {
namespace {

std::string ptyPath;

bool ResolveToPty(int portNumber, char* path, std::size_t size) {
  if (portNumber != 3) return false;  // the only port this machine "has"
  std::snprintf(path, size, "%s", ptyPath.c_str());
  return true;
}

struct Confirmation {
  bool confirm = true;
  VmlCmdSerialSettings change{};
  bool changeSettings = false;
  std::string portName;
  VmlCmdSerialSettings offered{};
};

bool Confirm(const char* portName, VmlCmdSerialSettings* settings, void* context) {
  auto* confirmation = static_cast<Confirmation*>(context);
  confirmation->portName = portName;
  confirmation->offered = *settings;
  if (confirmation->changeSettings) *settings = confirmation->change;
  return confirmation->confirm;
}

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128];
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    ptyPath = name;
    platform::SetSerialDeviceResolver(ResolveToPty);
    VmlCmdSetSerialConfirm(Confirm, &confirmation_);
    command_ = static_cast<NapiCommand*>(CreateICommand());
  }
  void TearDown() override {
    command_->Release();
    VmlCmdSetSerialConfirm(nullptr, nullptr);
    platform::SetSerialDeviceResolver(nullptr);
    ::close(slave_);
    ::close(master_);
  }

  speed_t SlaveSpeed() {
    termios mode{};
    ::tcgetattr(slave_, &mode);
    return ::cfgetospeed(&mode);
  }

  int master_ = -1;
  int slave_ = -1;
  Confirmation confirmation_;
  NapiCommand* command_ = nullptr;
};

TEST_F(SerialLinkTest, OpensWithTheConfirmedDefaults) {
  EXPECT_TRUE(command_->OpenSerialLink(3));
  EXPECT_EQ(command_->Mode(), ConnectionModeSerial);
  EXPECT_TRUE(command_->Serial().IsOpen());
  EXPECT_EQ(confirmation_.portName, "com3");
  EXPECT_EQ(confirmation_.offered.baudRate, 115200u);
  EXPECT_EQ(confirmation_.offered.byteSize, 8);
  EXPECT_EQ(confirmation_.offered.parity, 0);
  EXPECT_EQ(confirmation_.offered.stopBits, 0);
  EXPECT_EQ(SlaveSpeed(), B115200);
}

TEST_F(SerialLinkTest, AppliesTheSettingsTheUserChose) {
  confirmation_.changeSettings = true;
  confirmation_.change = {9600, 7, 2, 2, 0};
  ASSERT_TRUE(command_->OpenSerialLink(3));
  // A pseudo-terminal keeps the speed but not the framing bits, so only the speed is checked.
  EXPECT_EQ(SlaveSpeed(), B9600);
}

TEST_F(SerialLinkTest, FailuresLeaveNoPortOpenAndTheModeAsItWas) {
  int before = OpenDescriptors();
  SetLastErrorCode(kWrongPassword);
  confirmation_.confirm = false;
  EXPECT_FALSE(command_->OpenSerialLink(3));  // the user declined
  confirmation_.confirm = true;
  EXPECT_FALSE(command_->OpenSerialLink(4));  // no such port
  confirmation_.changeSettings = true;
  confirmation_.change = {12345, 8, 0, 0, 0};
  EXPECT_FALSE(command_->OpenSerialLink(3));  // settings the port rejects
  EXPECT_EQ(command_->Mode(), ConnectionModeNone);
  EXPECT_EQ(LastErrorCode(), kWrongPassword);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(SerialLinkTest, AFailedReopenClosesThePortOpenedBefore) {
  ASSERT_TRUE(command_->OpenSerialLink(3));
  confirmation_.confirm = false;
  EXPECT_FALSE(command_->OpenSerialLink(3));
  EXPECT_FALSE(command_->Serial().IsOpen());
  EXPECT_EQ(command_->Mode(), ConnectionModeSerial);  // unchanged, though nothing is open
}

TEST_F(SerialLinkTest, SerialModeGatesDeviceOperationsAndReservedSlots) {
  ASSERT_TRUE(command_->OpenSerialLink(3));
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command_->PtzStop());
  EXPECT_EQ(command_->GetVideoBitrate(), 0);
  EXPECT_EQ(LastErrorCode(), kSuccess);
  EXPECT_FALSE(command_->Reserved21(0));
  EXPECT_EQ(LastErrorCode(), kNotImplemented);
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command_->Reserved22(0));
  EXPECT_EQ(LastErrorCode(), kNotImplemented);
}

TEST_F(SerialLinkTest, ClosingTheLinkOrTheObjectClosesThePort) {
  int before = OpenDescriptors();
  ASSERT_TRUE(command_->OpenSerialLink(3));
  EXPECT_EQ(OpenDescriptors(), before + 1);
  EXPECT_TRUE(command_->SetNetworkTarget("127.0.0.1", 1, "u", "p"));
  EXPECT_FALSE(command_->Serial().IsOpen());
  EXPECT_EQ(command_->Mode(), ConnectionModeNetwork);
  EXPECT_EQ(OpenDescriptors(), before);

  ASSERT_TRUE(command_->OpenSerialLink(3));
  EXPECT_EQ(command_->Mode(), ConnectionModeSerial);
  command_->Release();
  command_ = static_cast<NapiCommand*>(CreateICommand());
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace vml
