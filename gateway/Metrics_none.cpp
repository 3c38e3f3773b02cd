// Metrics in a build without the metrics library: none are kept.
#include "Metrics.h"

namespace gateway {

struct Metrics::Impl {};

Metrics::Metrics() = default;
Metrics::~Metrics() = default;
bool Metrics::Available() { return false; }
void Metrics::CountRequest(const std::string&, const std::string&, int) {}
void Metrics::ObserveCall(const char*, double) {}
std::string Metrics::Text(const std::vector<std::shared_ptr<DeviceEntry>>&, int) const { return {}; }
std::string Metrics::DeviceText(const std::shared_ptr<DeviceEntry>&) const { return {}; }

}  // namespace gateway
