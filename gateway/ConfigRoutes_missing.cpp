// The configuration routes of a build without the configuration engine: each answers 501 with
// what is missing, so the rest of the gateway works and a client learns why.
#include <httplib.h>

#include "Gateway.h"

namespace gateway {

namespace {

void Missing(httplib::Response& response) {
  WriteError(response, 501, "not-implemented",
             "this gateway was built without the configuration engine; devices, PTZ and the console work");
}

}  // namespace

void Gateway::ReadConfig(const httplib::Request&, httplib::Response& response) { Missing(response); }
void Gateway::PlanConfig(const httplib::Request&, httplib::Response& response) { Missing(response); }
void Gateway::ApplyConfig(const httplib::Request&, httplib::Response& response) { Missing(response); }
void Gateway::FleetPlan(const httplib::Request&, httplib::Response& response) { Missing(response); }
void Gateway::FleetApply(const httplib::Request&, httplib::Response& response) { Missing(response); }
void Gateway::Fleet(const httplib::Request&, httplib::Response& response, bool) { Missing(response); }
void Gateway::FollowAddress(DeviceEntry&, const Json&) {}

}  // namespace gateway
