// The gateway's metrics in Prometheus' text format: its own (requests by route and status,
// device-call durations by kind, the queue, calls turned away busy) and each device's (up, the
// probe's duration and failures, its versions, drift, PTZ stops), labelled with the device's
// id only: credentials stay in the inventory, never in a label or a URL.
//
// A build without the metrics library (the Windows program: Debian has no build of it for
// mingw-w64) has none: Available() is false and the routes say so.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Devices.h"

namespace gateway {

class Metrics {
 public:
  Metrics();
  ~Metrics();
  Metrics(const Metrics&) = delete;
  Metrics& operator=(const Metrics&) = delete;

  static bool Available();

  // route: the OpenAPI path the request matched ("other" for none).
  void CountRequest(const std::string& route, const std::string& method, int status);
  void ObserveCall(const char* kind, double seconds);

  // Every metric: the gateway's and each device's.
  std::string Text(const std::vector<std::shared_ptr<DeviceEntry>>& devices, int queueDepth) const;
  // One device's metrics alone, as an exporter answers a probe of one target.
  std::string DeviceText(const std::shared_ptr<DeviceEntry>& device) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The media type of the text format.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace gateway
