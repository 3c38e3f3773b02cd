// Metrics kept and written with the Prometheus client library. The gateway's own counters live
// in a registry for the process's life; each device's metrics are built afresh from what the
// device entry knows at every scrape, so a removed device's series end with it.
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include "Metrics.h"

namespace gateway {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;

// From a loopback answer (well under a millisecond) to a device at its reply time-outs.
const prometheus::Histogram::BucketBoundaries kCallBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                              0.25,  0.5,    1,     2.5,  5,     10};

double Seconds(int64_t milliseconds) { return static_cast<double>(milliseconds) / 1000.0; }

// The metrics of some devices, into registry.
void AddDevices(prometheus::Registry& registry, const std::vector<std::shared_ptr<DeviceEntry>>& devices) {
  auto& up = BuildGauge()
                 .Name("vmlcmd_device_up")
                 .Help("1 when the device answered its last probe or call as a device, 0 when it did not")
                 .Register(registry);
  auto& since = BuildGauge()
                    .Name("vmlcmd_device_state_change_timestamp_seconds")
                    .Help("When the device last went up or down, in seconds since the epoch")
                    .Register(registry);
  auto& duration = BuildGauge()
                       .Name("vmlcmd_device_probe_duration_seconds")
                       .Help("How long the device's last health probe took")
                       .Register(registry);
  auto& failures = BuildCounter()
                       .Name("vmlcmd_device_probe_failures_total")
                       .Help("Health probes of the device that failed, by the stage they failed in")
                       .Register(registry);
  auto& info = BuildGauge()
                   .Name("vmlcmd_device_info")
                   .Help("The device's BSP and NAPI version numbers, as labels (value 1)")
                   .Register(registry);
  auto& drift = BuildGauge()
                    .Name("vmlcmd_device_config_drift")
                    .Help("Fields of the device's configuration that differ from its desired configuration")
                    .Register(registry);
  auto& mayBeMoving = BuildGauge()
                          .Name("vmlcmd_device_ptz_may_be_moving")
                          .Help("1 while a PTZ stop the gateway sent is not acknowledged")
                          .Register(registry);
  auto& stopsSent = BuildCounter()
                        .Name("vmlcmd_device_ptz_stops_sent_total")
                        .Help("PTZ stops the gateway sent to the device, re-sends included")
                        .Register(registry);
  auto& stopsFailed = BuildCounter()
                          .Name("vmlcmd_device_ptz_stops_failed_total")
                          .Help("PTZ stops the device did not acknowledge")
                          .Register(registry);
  auto& stopsRetried = BuildCounter()
                           .Name("vmlcmd_device_ptz_stop_retries_total")
                           .Help("PTZ stops sent again because an earlier one was not acknowledged")
                           .Register(registry);
  for (const auto& device : devices) {
    const prometheus::Labels labels = {{"device", device->Id()}};
    const Health health = device->HealthNow();
    if (health.state != Health::State::kUnknown) {
      up.Add(labels).Set(health.state == Health::State::kUp ? 1 : 0);
      since.Add(labels).Set(Seconds(health.sinceMilliseconds));
    }
    if (health.probedAtMilliseconds != 0) duration.Add(labels).Set(health.probeSeconds);
    for (const auto& [stage, count] : health.probeFailures) {
      failures.Add({{"device", device->Id()}, {"stage", stage}}).Increment(static_cast<double>(count));
    }
    if (health.versionsKnown) {
      info.Add({{"device", device->Id()},
                {"bsp_version", std::to_string(health.bspVersion)},
                {"napi_version", std::to_string(health.napiVersion)}})
          .Set(1);
    }
    if (health.hasDesired && health.driftCheckedAtMilliseconds != 0 && health.driftError.empty()) {
      drift.Add(labels).Set(health.driftFields);
    }
    mayBeMoving.Add(labels).Set(device->PtzState() == DeviceEntry::Ptz::kMayBeMoving ? 1 : 0);
    const DeviceEntry::StopCounts stops = device->Stops();
    stopsSent.Add(labels).Increment(static_cast<double>(stops.sent));
    stopsFailed.Add(labels).Increment(static_cast<double>(stops.failed));
    stopsRetried.Add(labels).Increment(static_cast<double>(stops.retried));
  }
}

std::string Serialize(const std::vector<prometheus::MetricFamily>& families) {
  return prometheus::TextSerializer().Serialize(families);
}

}  // namespace

struct Metrics::Impl {
  prometheus::Registry registry;
  prometheus::Family<prometheus::Counter>& requests =
      BuildCounter()
          .Name("vmlcmd_gateway_requests_total")
          .Help("Requests answered, by route (its OpenAPI path), method and status")
          .Register(registry);
  prometheus::Family<prometheus::Histogram>& calls =
      BuildHistogram()
          .Name("vmlcmd_gateway_device_call_duration_seconds")
          .Help("Time a device call took once it had its turn, by kind of call")
          .Register(registry);
  prometheus::Counter& busy = BuildCounter()
                                  .Name("vmlcmd_gateway_busy_total")
                                  .Help("Requests turned away with 503 (a device's queue or the server full)")
                                  .Register(registry)
                                  .Add({});
};

Metrics::Metrics() : impl_(std::make_unique<Impl>()) {}
Metrics::~Metrics() = default;

bool Metrics::Available() { return true; }

void Metrics::CountRequest(const std::string& route, const std::string& method, int status) {
  impl_->requests.Add({{"route", route}, {"method", method}, {"status", std::to_string(status)}}).Increment();
  if (status == 503) impl_->busy.Increment();
}

void Metrics::ObserveCall(const char* kind, double seconds) {
  impl_->calls.Add({{"kind", kind}}, kCallBuckets).Observe(seconds);
}

std::string Metrics::Text(const std::vector<std::shared_ptr<DeviceEntry>>& devices, int queueDepth) const {
  prometheus::Registry now;
  BuildGauge()
      .Name("vmlcmd_gateway_queue_depth")
      .Help("Device calls running or waiting for their device, all devices together")
      .Register(now)
      .Add({})
      .Set(queueDepth);
  BuildGauge()
      .Name("vmlcmd_gateway_devices")
      .Help("Devices the gateway serves")
      .Register(now)
      .Add({})
      .Set(static_cast<double>(devices.size()));
  AddDevices(now, devices);
  std::vector<prometheus::MetricFamily> families = impl_->registry.Collect();
  for (auto& family : now.Collect()) families.push_back(std::move(family));
  return Serialize(families);
}

std::string Metrics::DeviceText(const std::shared_ptr<DeviceEntry>& device) const {
  prometheus::Registry now;
  AddDevices(now, {device});
  return Serialize(now.Collect());
}

}  // namespace gateway
