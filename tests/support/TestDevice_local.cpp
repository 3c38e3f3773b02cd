// The device in the test's own process.
#include "napisim/Simulator.h"
#include "support/TestDevice.h"

namespace vml::testing {

class TestDevice::Impl {
 public:
  explicit Impl(napisim::Options options) : simulator(std::move(options)) {}
  napisim::Simulator simulator;
};

TestDevice::TestDevice(napisim::Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
TestDevice::~TestDevice() = default;

void TestDevice::Start() { impl_->simulator.Start(); }
void TestDevice::Stop() { impl_->simulator.Stop(); }
uint16_t TestDevice::Port() const { return impl_->simulator.Port(); }

std::vector<napisim::RecordedRequest> TestDevice::Requests() const { return impl_->simulator.Requests(); }
void TestDevice::ClearRequests() { impl_->simulator.ClearRequests(); }
bool TestDevice::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  return impl_->simulator.WaitForRequests(count, timeout);
}

void TestDevice::SetFault(int32_t command, napisim::Fault fault) {
  impl_->simulator.SetFault(command, std::move(fault));
}
void TestDevice::ClearFaults() { impl_->simulator.ClearFaults(); }
void TestDevice::SetReplyFields(napisim::ReplyFields fields) { impl_->simulator.SetReplyFields(fields); }

napisim::DeviceState TestDevice::State() const { return impl_->simulator.State(); }
napisim::ConnectionStats TestDevice::Stats() const { return impl_->simulator.Stats(); }
bool TestDevice::WaitForIdle(std::chrono::milliseconds timeout) const {
  return impl_->simulator.WaitForIdle(timeout);
}

}  // namespace vml::testing
