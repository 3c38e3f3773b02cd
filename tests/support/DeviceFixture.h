// A command object pointed at a simulated device on loopback, and what the device received.
// The device is in this process or, in the Windows build, in a native one (support/TestDevice.h).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"
#include "napisim/Types.h"
#include "support/TestDevice.h"

namespace vml::testing {

class DeviceTest : public ::testing::Test {
 protected:
  explicit DeviceTest(napisim::Options options = {}) : device(std::move(options)) {}

  void SetUp() override {
    device.Start();
    command = static_cast<NapiCommand*>(CreateICommand());
    ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "admin"));
    SetLastErrorCode(kSuccess);
  }
  void TearDown() override {
    if (command != nullptr) command->Release();
  }

  // The requests after the logins, in order.
  std::vector<napisim::RecordedRequest> Commands() const {
    std::vector<napisim::RecordedRequest> commands;
    for (auto& request : device.Requests()) {
      if (request.command != napisim::kLoginCommand) commands.push_back(request);
    }
    return commands;
  }
  std::size_t Logins() const {
    std::size_t logins = 0;
    for (auto& request : device.Requests()) logins += request.command == napisim::kLoginCommand ? 1 : 0;
    return logins;
  }
  napisim::RecordedRequest LastCommand() const {
    auto commands = Commands();
    return commands.empty() ? napisim::RecordedRequest{} : commands.back();
  }
  // Every connection of the operation has been closed by the library.
  bool AllClosed() const { return device.WaitForIdle(std::chrono::milliseconds(2000)); }

  // Makes the device answer `code` with status 0 and this text.
  void Answer(int32_t code, std::string text) {
    device.SetFault(code, napisim::Fault::WithText(std::move(text)));
  }

  TestDevice device;
  NapiCommand* command = nullptr;
};

}  // namespace vml::testing
