// The simulated device the operation tests talk to. On Linux it is a napisim::Simulator in the
// test's own process (TestDevice_local.cpp); in the Windows build, which runs under Wine, it is
// a simulator running natively, driven through its control channel (TestDevice_remote.cpp,
// reached at VMLCMD_SIM_CONTROL=127.0.0.1:PORT). CMake picks one of the two files, so the same
// tests build for both.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "napisim/DeviceState.h"
#include "napisim/Types.h"

namespace vml::testing {

// The members a test uses of napisim::Simulator, with its meaning. A remote device reports
// failures of its control channel as std::runtime_error.
class TestDevice {
 public:
  explicit TestDevice(napisim::Options options = {});
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  // Listening, with a new device's state: nothing recorded, no faults, no connections counted.
  void Start();
  // Nothing listens on Port() afterwards.
  void Stop();
  uint16_t Port() const;

  std::vector<napisim::RecordedRequest> Requests() const;
  void ClearRequests();
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  void SetFault(int32_t command, napisim::Fault fault);
  void ClearFaults();
  void SetReplyFields(napisim::ReplyFields fields);

  napisim::DeviceState State() const;
  napisim::ConnectionStats Stats() const;
  bool WaitForIdle(std::chrono::milliseconds timeout) const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vml::testing
