// vmlcmd._vmlcmd: the compiled half of the Python package. It holds command objects of the
// library and calls them only through the public table and the outcome extension, and it holds
// simulated devices in this process. Names, types and exceptions that Python users see are
// made in the pure-Python half (vmlcmd/*.py); this half stays close to the table.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "Engine.h"
#include "Simulator.h"
#include "VmlCmd/ICommand.h"
#include "VmlCmd/vmlcmd.h"
#include "inventory/Inventory.h"

namespace py = pybind11;

namespace vmlcmd_python {
namespace {

// Longer than any reply text (the reply buffer holds 300 bytes, 20 of them the header), so a
// caption is never cut here.
constexpr int32_t kCaptionBufferSize = 300;

py::dict OutcomeDict(const VmlCmdOutcome& outcome) {
  py::dict d;
  d["stage"] = outcome.stage;
  d["result_code"] = outcome.resultCode;
  d["status"] = outcome.status;
  d["exchange"] = outcome.exchange;
  d["system_error"] = outcome.systemError;
  d["elapsed_us"] = outcome.elapsedMicroseconds;
  d["letter"] = outcome.letter == 0 ? std::string() : std::string(1, outcome.letter);
  d["reply_magic"] = outcome.replyMagic;
  return d;
}

std::string StageText(int32_t stage, int32_t language) {
  char text[128] = {};
  VmlCmdGetStageText(stage, language, text, static_cast<int32_t>(sizeof text));
  return text;
}

// The operations whose arguments and result pass as they are: one template per shape of the
// table's member functions.
template <auto Member>
struct Slot;

template <typename Result, typename... Args, Result (ICommand::*Member)(Args...)>
struct Slot<Member> {
  static void Def(py::class_<Command>& cls, const char* name) {
    cls.def(name, [name](Command& command, Args... args) {
      return command.Run(name, [&](ICommand& object) { return (object.*Member)(args...); });
    });
  }
};

template <auto Member>
void Def(py::class_<Command>& cls, const char* name) {
  Slot<Member>::Def(cls, name);
}

py::bytes GetAddress(Command& command, const char* name, bool (ICommand::*member)(char*)) {
  char address[VMLCMD_ADDRESS_BUFFER_SIZE] = {};
  command.Run(name, [&](ICommand& object) { return (object.*member)(address); });
  return py::bytes(address);
}

void DefineCommand(py::module_& m) {
  py::class_<Command> cls(m, "Command", "One command object of the library (use vmlcmd.Device).");
  cls.def(py::init<const std::string&, int32_t, const std::string&, const std::string&, int32_t>(),
          py::arg("host"), py::arg("port"), py::arg("user"), py::arg("password"), py::arg("video_port"));
  cls.def("close", &Command::Close);
  cls.def_property_readonly("closed", &Command::Closed);
  cls.def("set_video_port", &Command::SetVideoPort);
  cls.def("vendor_name", [](Command& command) { return py::bytes(command.VendorName()); });
  cls.def("last_outcome", [](Command& command) { return OutcomeDict(command.LastOutcome()); });
  cls.def("error_text", [](Command& command) { return py::bytes(command.ErrorText()); });

  Def<&ICommand::SetDeviceTime>(cls, "set_device_time");
  Def<&ICommand::SetNetworkConfig>(cls, "set_network_config");
  Def<&ICommand::SendCommand8>(cls, "send_command8");
  Def<&ICommand::SendCommand9>(cls, "send_command9");
  Def<&ICommand::SetAccount>(cls, "set_account");
  Def<&ICommand::SetPortSetting>(cls, "set_port_setting");
  Def<&ICommand::SetIpAddress>(cls, "set_ip_address");
  Def<&ICommand::SetSubnetMask>(cls, "set_subnet_mask");
  Def<&ICommand::SetGateway>(cls, "set_gateway");
  cls.def("get_ip_address",
          [](Command& c) { return GetAddress(c, "get_ip_address", &ICommand::GetIpAddress); });
  cls.def("get_subnet_mask",
          [](Command& c) { return GetAddress(c, "get_subnet_mask", &ICommand::GetSubnetMask); });
  cls.def("get_gateway", [](Command& c) { return GetAddress(c, "get_gateway", &ICommand::GetGateway); });

  Def<&ICommand::SetPtzProtocol>(cls, "set_ptz_protocol");
  Def<&ICommand::SetPtzAddress>(cls, "set_ptz_address");
  Def<&ICommand::SetPtzParameters>(cls, "set_ptz_parameters");
  Def<&ICommand::SetSerialBaudRate>(cls, "set_serial_baud_rate");
  Def<&ICommand::GetSerialBaudRate>(cls, "get_serial_baud_rate");
  Def<&ICommand::PtzAuto>(cls, "ptz_auto");
  Def<&ICommand::PtzFocus>(cls, "ptz_focus");
  Def<&ICommand::PtzPan>(cls, "ptz_pan");
  Def<&ICommand::PtzTilt>(cls, "ptz_tilt");
  Def<&ICommand::PtzZoom>(cls, "ptz_zoom");
  Def<&ICommand::PtzIris>(cls, "ptz_iris");
  Def<&ICommand::PtzStop>(cls, "ptz_stop");
  Def<&ICommand::SendCommand51>(cls, "send_command51");
  Def<&ICommand::SendCommand52>(cls, "send_command52");

  Def<&ICommand::SetVideoBitrate>(cls, "set_video_bitrate");
  Def<&ICommand::GetVideoBitrate>(cls, "get_video_bitrate");
  Def<&ICommand::SetVideoFrameRate>(cls, "set_video_frame_rate");
  Def<&ICommand::GetVideoFrameRate>(cls, "get_video_frame_rate");
  Def<&ICommand::SetVideoIFrameInterval>(cls, "set_video_iframe_interval");
  Def<&ICommand::GetVideoIFrameInterval>(cls, "get_video_iframe_interval");
  Def<&ICommand::SetVideoParamR>(cls, "set_video_param_r");
  Def<&ICommand::GetVideoParamR>(cls, "get_video_param_r");
  Def<&ICommand::SetVideoQuantStep>(cls, "set_video_quant_step");
  Def<&ICommand::GetVideoQuantStep>(cls, "get_video_quant_step");
  Def<&ICommand::SetVideoParamT>(cls, "set_video_param_t");
  Def<&ICommand::SetBrightness>(cls, "set_brightness");
  Def<&ICommand::GetBrightness>(cls, "get_brightness");
  Def<&ICommand::SetContrast>(cls, "set_contrast");
  Def<&ICommand::GetContrast>(cls, "get_contrast");
  Def<&ICommand::SetSaturation>(cls, "set_saturation");
  Def<&ICommand::GetSaturation>(cls, "get_saturation");
  Def<&ICommand::SetHue>(cls, "set_hue");
  Def<&ICommand::GetHue>(cls, "get_hue");
  Def<&ICommand::RestoreVideoDefaults>(cls, "restore_video_defaults");

  // The record's fields in the header's order, spare first; spare is never read or written.
  cls.def("get_video_settings", [](Command& command) {
    VideoSettings s{};
    command.Run("get_video_settings", [&](ICommand& object) { return object.GetVideoSettings(&s); });
    return std::array<int32_t, 11>{s.spare,          s.paramT,     s.bitrate, s.frameRate,
                                   s.iFrameInterval, s.quantStep,  s.paramR,  s.brightness,
                                   s.contrast,       s.saturation, s.hue};
  });
  cls.def("set_video_settings", [](Command& command, const std::array<int32_t, 11>& v) {
    const VideoSettings s{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]};
    return command.Run("set_video_settings", [&](ICommand& object) { return object.SetVideoSettings(&s); });
  });

  // The reserved argument of the region slots is not sent; 0 is what hosts pass.
  Def<&ICommand::SetMaskRegion>(cls, "set_mask_region");
  cls.def("get_mask_region", [](Command& command) {
    bool enabled = false;
    int32_t left = 0, top = 0, width = 0, height = 0;
    command.Run("get_mask_region", [&](ICommand& object) {
      return object.GetMaskRegion(&enabled, &left, &top, &width, &height, 0);
    });
    return py::make_tuple(enabled, left, top, width, height);
  });
  Def<&ICommand::SetMotionRegion>(cls, "set_motion_region");
  cls.def("get_motion_region", [](Command& command) {
    bool enabled = false;
    int32_t left = 0, top = 0, width = 0, height = 0, sensitivity = 0;
    command.Run("get_motion_region", [&](ICommand& object) {
      return object.GetMotionRegion(&enabled, &left, &top, &width, &height, &sensitivity, 0);
    });
    return py::make_tuple(enabled, left, top, width, height, sensitivity);
  });

  Def<&ICommand::SetOsdCaption>(cls, "set_osd_caption");
  cls.def("get_osd_caption", [](Command& command) {
    bool show = false;
    int32_t position = 0;
    char caption[kCaptionBufferSize] = {};
    command.Run("get_osd_caption", [&](ICommand& object) {
      return VmlCmdGetOsdCaptionEx(&object, &show, &position, caption, kCaptionBufferSize);
    });
    return py::make_tuple(show, position, py::bytes(caption));
  });
  Def<&ICommand::SetOsdTime>(cls, "set_osd_time");
  cls.def("get_osd_time", [](Command& command) {
    bool show = false;
    int32_t position = 0;
    command.Run("get_osd_time", [&](ICommand& object) { return object.GetOsdTime(&show, &position); });
    return py::make_tuple(show, position);
  });
}

// The inventory through the reader vmlctl and napi-sim use: {"entries": [...]} or, for a bad
// file, {"line": n, "error": text}; the pure-Python half names the file.
py::dict ReadInventory(const py::bytes& content, const std::string& user, const std::string& password,
                       int32_t videoPort) {
  std::istringstream in{std::string(content)};
  vml::inventory::Defaults defaults;
  defaults.user = user;
  defaults.password = password;
  defaults.videoPort = videoPort;
  std::vector<vml::inventory::Entry> entries;
  vml::inventory::Error error;
  py::dict result;
  if (!vml::inventory::Read(in, defaults, &entries, &error)) {
    result["line"] = error.line;
    result["error"] = error.message;
    return result;
  }
  py::list list;
  for (const vml::inventory::Entry& e : entries) {
    py::dict d;
    d["line"] = e.line;
    d["name"] = py::bytes(e.name);
    d["host"] = e.host;
    d["port"] = e.port;
    d["user"] = py::bytes(e.user);
    d["password"] = py::bytes(e.password);
    d["video_port"] = e.videoPort;
    d["text_encoding"] = e.textEncoding;
    list.append(d);
  }
  result["entries"] = list;
  return result;
}

// The configuration engine, the one behind vmlctl config too. Documents cross as JSON texts,
// which the pure-Python half turns into dicts; a document is checked before anything is sent.
namespace cfg = vmlcmd::config;

std::string Refusals(const std::vector<cfg::Refusal>& refusals) {
  std::string text;
  for (const cfg::Refusal& refusal : refusals) text += (text.empty() ? "" : "; ") + refusal.Text();
  return text;
}

cfg::Json Wanted(const std::string& text) {
  cfg::Json document;
  std::vector<cfg::Refusal> refusals;
  if (!cfg::Load(text, &document, &refusals)) throw py::value_error(Refusals(refusals));
  return document;
}

std::string Dump(const cfg::Json& json) {
  return json.dump(-1, ' ', false, cfg::Json::error_handler_t::replace);
}

void DefineConfig(py::class_<Command>& cls) {
  cls.def("read_config", [](Command& command, const std::vector<int32_t>& ports, int encoding) {
    const cfg::ReadResult read =
        command.WithObject([&](ICommand& object) { return cfg::Read(object, ports, encoding); });
    return Dump(cfg::Json{{"document", read.document}, {"errors", read.errors}});
  });
  cls.def("plan_config", [](Command& command, const std::string& text, int encoding) {
    const cfg::Json wanted = Wanted(text);
    return Dump(cfg::ToJson(
        command.WithObject([&](ICommand& object) { return cfg::Plan(object, wanted, encoding); })));
  });
  cls.def("apply_config", [](Command& command, const std::string& text, bool check, bool rollback,
                             bool allowAddressChange, const std::string& host, int32_t port,
                             const std::string& user, const std::string& password, int encoding) {
    const cfg::Json wanted = Wanted(text);
    const cfg::Target target{host, port, user, password};
    cfg::ApplyOptions options;
    options.textEncoding = encoding;
    options.check = check;
    options.rollback = rollback;
    options.allowAddressChange = allowAddressChange;
    options.target = &target;
    return Dump(cfg::ToJson(
        command.WithObject([&](ICommand& object) { return cfg::Apply(object, wanted, options); })));
  });
}

// A failed operation becomes the exception of its stage, made by the pure-Python half so that
// the classes and their fields are ordinary Python.
void TranslateFailures(std::exception_ptr thrown) {
  try {
    if (thrown) std::rethrow_exception(thrown);
  } catch (const DeviceFailure& failure) {
    py::object error = py::module_::import("vmlcmd._errors")
                           .attr("from_outcome")(failure.operation, OutcomeDict(failure.outcome));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  } catch (const ClosedDevice& closed) {
    PyErr_SetString(PyExc_ValueError, closed.what());
  }
}

}  // namespace
}  // namespace vmlcmd_python

PYBIND11_MODULE(_vmlcmd, m) {
  using namespace vmlcmd_python;
  m.doc() = "The compiled half of vmlcmd: the library's command objects and the simulated device.";
  m.attr("VERSION") = py::make_tuple(VMLCMD_VERSION_MAJOR, VMLCMD_VERSION_MINOR, VMLCMD_VERSION_PATCH);
  m.attr("STAGE_COUNT") = static_cast<int>(VmlCmdStageCount);
  m.def("stage_text", &StageText, py::arg("stage"), py::arg("language"),
        "The library's short text of an outcome stage: language 0 English, 1 Simplified Chinese.");
  m.def("read_inventory", &ReadInventory, py::arg("content"), py::arg("user"), py::arg("password"),
        py::arg("video_port"), "Reads an inventory file's bytes with the tools' own reader.");
  // The one conversion of device texts that every front end shares (the C interface's).
  m.def(
      "text_encoding", [](const std::string& name) { return vmlcmd_text_encoding(name.c_str()); },
      py::arg("name"), "The code page of an encoding's name, or -1.");
  m.def(
      "text_to_device",
      [](int encoding, const std::string& utf8) -> py::object {
        char out[1024];
        if (utf8.size() >= sizeof out / 2 ||
            vmlcmd_text_to_device(encoding, utf8.c_str(), out, sizeof out) < 0)
          return py::none();
        return py::bytes(out);
      },
      py::arg("encoding"), py::arg("text"),
      "UTF-8 text as device bytes, or None when the encoding lacks a character.");
  m.def(
      "text_from_device",
      [](int encoding, const std::string& bytes) -> py::object {
        char out[1024];
        if (bytes.size() >= sizeof out / 3 ||
            vmlcmd_text_from_device(encoding, bytes.c_str(), out, sizeof out) < 0)
          return py::none();
        return py::str(out);
      },
      py::arg("encoding"), py::arg("data"),
      "Device bytes as text, or None when they are not text in the encoding.");
  py::register_exception_translator(&TranslateFailures);
  DefineCommand(m);
  auto cls = py::reinterpret_borrow<py::class_<Command>>(m.attr("Command"));
  DefineConfig(cls);
  DefineSimulator(m);
}
