#include "Simulator.h"

#include <pybind11/stl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "napisim/ControlJson.h"
#include "napisim/Simulator.h"

namespace py = pybind11;

namespace vmlcmd_python {
namespace {

using Accounts = std::vector<std::pair<std::string, std::string>>;

// The simulator's own errors for malformed JSON are nlohmann's; Python callers get ValueError.
template <typename Parse>
auto FromJson(Parse&& parse) {
  try {
    return parse();
  } catch (const nlohmann::json::exception& error) {
    throw std::invalid_argument(error.what());
  }
}

std::unique_ptr<napisim::Simulator> Make(int devices, int videoPorts, const Accounts& accounts, bool log) {
  if (devices < 1) throw std::invalid_argument("a simulator plays at least one device");
  if (videoPorts < 1) throw std::invalid_argument("a device has at least one video port");
  napisim::Options options;
  options.devices = devices;
  options.videoPorts = videoPorts;
  options.log = log;
  options.accounts.clear();
  for (const auto& [user, password] : accounts) options.accounts.push_back({user, password});
  return std::make_unique<napisim::Simulator>(std::move(options));
}

py::list Requests(const napisim::Simulator& simulator, std::size_t device) {
  std::vector<napisim::RecordedRequest> requests = simulator.Requests(device);
  py::list out;
  for (const napisim::RecordedRequest& request : requests) {
    out.append(
        py::make_tuple(request.command, py::bytes(request.text), request.connection, request.badHeader));
  }
  return out;
}

}  // namespace

void DefineSimulator(py::module_& m) {
  using napisim::Simulator;
  using Release = py::call_guard<py::gil_scoped_release>;
  py::class_<Simulator> cls(m, "Simulator", "napisim::Simulator in this process (use vmlcmd.Simulator).");
  cls.def(py::init(&Make), py::arg("devices"), py::arg("video_ports"), py::arg("accounts"), py::arg("log"));
  cls.def("start", &Simulator::Start, Release());
  cls.def("stop", &Simulator::Stop, Release());
  cls.def("reset", &Simulator::Reset, Release());
  cls.def("listening", py::overload_cast<>(&Simulator::Listening, py::const_));
  cls.def("device_count", &Simulator::DeviceCount);
  cls.def("port", py::overload_cast<std::size_t>(&Simulator::Port, py::const_));
  cls.def("state_json", [](const Simulator& s, std::size_t device) { return s.StateJson(device).dump(); });
  // The whole state as state_json gives it; the Python side merges a caller's changes into it.
  cls.def("set_state_json", [](Simulator& s, std::size_t device, const std::string& state) {
    napisim::DeviceState parsed =
        FromJson([&] { return nlohmann::json::parse(state).get<napisim::DeviceState>(); });
    s.UpdateState(device, [&](napisim::DeviceState& current) { current = std::move(parsed); });
  });
  cls.def("set_fault", [](Simulator& s, std::size_t device, int32_t command, const std::string& fault) {
    napisim::Fault parsed = FromJson([&] { return nlohmann::json::parse(fault).get<napisim::Fault>(); });
    s.SetFault(device, command, std::move(parsed));
  });
  cls.def("set_reply_fields", [](Simulator& s, std::size_t device, const std::string& name) {
    napisim::ReplyFields fields = napisim::ReplyFields::kUsual;
    if (!napisim::ParseReplyFields(name, &fields))
      throw std::invalid_argument("reply fields: one of usual, zero, drawn");
    s.SetReplyFields(device, fields);
  });
  cls.def("reply_fields", [](const Simulator& s, std::size_t device) {
    return std::string(napisim::ReplyFieldsName(s.GetReplyFields(device)));
  });
  cls.def("clear_fault", py::overload_cast<std::size_t, int32_t>(&Simulator::ClearFault));
  cls.def("clear_faults", py::overload_cast<std::size_t>(&Simulator::ClearFaults));
  cls.def("requests", &Requests);
  cls.def("clear_requests", py::overload_cast<std::size_t>(&Simulator::ClearRequests));
  cls.def(
      "wait_for_requests",
      [](const Simulator& s, std::size_t device, std::size_t count, int64_t milliseconds) {
        return s.WaitForRequests(device, count, std::chrono::milliseconds(milliseconds));
      },
      Release());
  cls.def(
      "wait_for_idle",
      [](const Simulator& s, std::size_t device, int64_t milliseconds) {
        return s.WaitForIdle(device, std::chrono::milliseconds(milliseconds));
      },
      Release());
  cls.def("stats", [](const Simulator& s, std::size_t device) {
    nlohmann::json stats = s.Stats(device);
    return stats.dump();
  });
}

}  // namespace vmlcmd_python
