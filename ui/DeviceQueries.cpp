#include "ui/DeviceQueries.h"

#include "core/NapiCommand.h"

namespace vml::ui {
namespace {

class NapiQueries final : public DeviceQueries {
 public:
  bool QueryNetworkConfig(ICommand& command, char* ipAddress, char* subnetMask, char* gateway) override {
    return Napi(command).QueryNetworkConfig(ipAddress, subnetMask, gateway);
  }
  std::int32_t QueryBspVersion(ICommand& command) override { return Napi(command).QueryBspVersion(); }
  std::int32_t QueryNapiVersion(ICommand& command) override { return Napi(command).QueryNapiVersion(); }

 private:
  static NapiCommand& Napi(ICommand& command) { return static_cast<NapiCommand&>(command); }
};

}  // namespace

DeviceQueries& NapiDeviceQueries() {
  static NapiQueries queries;
  return queries;
}

}  // namespace vml::ui
