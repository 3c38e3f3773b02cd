// The flat C interface: another way in to the same command object. Each function converts its
// arguments, calls one operation of the table and takes its status from the object's own
// outcome, never from the module-wide result code, so handles on different threads never see
// each other's statuses.
#include "VmlCmd/vmlcmd.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "VmlCmd/ICommand.h"
#include "core/Outcome.h"
#include "platform/Platform.h"

static_assert(VMLCMD_STATUS_NO_NETWORK_LINK == VmlCmdStageNoNetworkLink);
static_assert(VMLCMD_STATUS_ARGUMENT_REFUSED == VmlCmdStageArgumentRefused);
static_assert(VMLCMD_STATUS_ADDRESS_INVALID == VmlCmdStageAddressInvalid);
static_assert(VMLCMD_STATUS_CONNECT_REFUSED == VmlCmdStageConnectRefused);
static_assert(VMLCMD_STATUS_CONNECT_TIMED_OUT == VmlCmdStageConnectTimedOut);
static_assert(VMLCMD_STATUS_CONNECT_FAILED == VmlCmdStageConnectFailed);
static_assert(VMLCMD_STATUS_LOGIN_REFUSED == VmlCmdStageLoginRefused);
static_assert(VMLCMD_STATUS_SEND_FAILED == VmlCmdStageSendFailed);
static_assert(VMLCMD_STATUS_REPLY_TIMED_OUT == VmlCmdStageReplyTimedOut);
static_assert(VMLCMD_STATUS_CLOSED_BY_DEVICE == VmlCmdStageClosedByDevice);
static_assert(VMLCMD_STATUS_RECEIVE_FAILED == VmlCmdStageReceiveFailed);
static_assert(VMLCMD_STATUS_REPLY_STATUS == VmlCmdStageReplyStatus);
static_assert(VMLCMD_STATUS_VALUE_MISSING == VmlCmdStageValueMissing);
static_assert(VMLCMD_STATUS_OUT_OF_MEMORY >= VmlCmdStageCount);
static_assert(sizeof(int) == sizeof(int32_t), "the C interface's int is the table's 32-bit value");

struct vmlcmd_device {
  ICommand* command = nullptr;
  vmlcmd_result last{};
  int encoding = VMLCMD_TEXT_ENCODING_CP936;
};

namespace {

constexpr int kRefused = VMLCMD_STATUS_ARGUMENT_REFUSED;
// A request text holds at most 255 characters, so a longer input text could never be sent.
constexpr std::size_t kInputCapacity = 256;
// A reply holds at most 299 bytes; in UTF-8 each of them takes at most three.
constexpr std::size_t kReplyCapacity = 300;
constexpr std::size_t kUtf8Capacity = 3 * kReplyCapacity + 1;

int Record(vmlcmd_device* device, int status) {
  device->last = vmlcmd_result{};
  device->last.size = sizeof device->last;
  device->last.status = status;
  return status;
}

// The status of the operation that just ran, from the object's own outcome.
int FromOutcome(vmlcmd_device* device) {
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;
  VmlCmdGetLastOutcome(device->command, &outcome);
  // Every device operation records its outcome; a stage of none would be a fault of the
  // library, and reporting it as success would hide it.
  int status = outcome.stage == VmlCmdStageSuccess ? VMLCMD_OK
               : outcome.stage == VmlCmdStageNone  ? VMLCMD_STATUS_SEND_FAILED
                                                   : outcome.stage;
  Record(device, status);
  device->last.reply_status = outcome.status;
  device->last.exchange = outcome.exchange;
  device->last.system_error = outcome.systemError;
  device->last.elapsed_us = outcome.elapsedMicroseconds;
  device->last.letter = outcome.letter;
  return status;
}

// Runs one operation of the table on the handle's object.
template <class Operation>
int Run(vmlcmd_device* device, Operation operation) {
  if (device == nullptr) return kRefused;
  operation(*device->command);
  return FromOutcome(device);
}

// A UTF-8 argument in the device's code page; ok() is false for a text that cannot be sent.
class DeviceText {
 public:
  DeviceText(int encoding, const char* utf8)
      : ok_(vml::platform::Utf8ToDeviceText(encoding, utf8, bytes_, sizeof bytes_) >= 0) {}
  bool ok() const { return ok_; }
  const char* c_str() const { return bytes_; }

 private:
  char bytes_[kInputCapacity] = {};
  bool ok_;
};

// Writes a device text as UTF-8 into the caller's buffer, cut at a whole character.
void CopyOut(int encoding, const char* deviceText, char* out, std::size_t size) {
  char utf8[kUtf8Capacity];
  int converted = vml::platform::DeviceTextToUtf8(encoding, deviceText, utf8, sizeof utf8, false);
  std::size_t length = converted < 0 ? 0 : static_cast<std::size_t>(converted);
  if (length > size - 1) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(out, utf8, length);
  out[length] = '\0';
}

// A code page the system converts both ways (checked on a letter, which every one of them has).
bool IsConvertible(int codePage) {
  if (codePage <= 0) return false;
  char bytes[8];
  char back[8];
  return vml::platform::Utf8ToDeviceText(codePage, "A", bytes, sizeof bytes) == 1 &&
         vml::platform::DeviceTextToUtf8(codePage, bytes, back, sizeof back, true) == 1 && back[0] == 'A';
}

bool IsByte(int value) { return value >= 0 && value <= 255; }
bool IsPosition(int value) { return value >= 1 && value <= 8; }

// Reads one value through a getter of the table.
template <class Getter>
int GetNumber(vmlcmd_device* device, int* out, Getter getter) {
  if (device == nullptr) return kRefused;
  if (out == nullptr) return Record(device, kRefused);
  int32_t value = 0;
  int status = Run(device, [&](ICommand& c) { value = getter(c); });
  if (status == VMLCMD_OK) *out = value;
  return status;
}

int GetValue(vmlcmd_device* device, int* out, int32_t (ICommand::*getter)()) {
  return GetNumber(device, out, [getter](ICommand& c) { return (c.*getter)(); });
}

int SetValue(vmlcmd_device* device, int value, bool (ICommand::*setter)(int32_t)) {
  return Run(device, [&](ICommand& c) { (c.*setter)(value); });
}

// Reads one of the device's addresses.
int GetAddress(vmlcmd_device* device, char* out, std::size_t size, bool (ICommand::*getter)(char*)) {
  if (device == nullptr) return kRefused;
  if (out == nullptr || size < 1) return Record(device, kRefused);
  char address[VMLCMD_ADDRESS_BUFFER_SIZE] = {};
  int status = Run(device, [&](ICommand& c) { (c.*getter)(address); });
  if (status == VMLCMD_OK) CopyOut(device->encoding, address, out, size);
  return status;
}

int SetText(vmlcmd_device* device, const char* text, bool (ICommand::*setter)(const char*)) {
  if (device == nullptr) return kRefused;
  DeviceText converted(device->encoding, text);
  if (!converted.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { (c.*setter)(converted.c_str()); });
}

int SendPassThrough(vmlcmd_device* device, int p, const char* t, const char* a, int o,
                    bool (ICommand::*send)(int32_t, const char*, const char*, int32_t)) {
  if (device == nullptr) return kRefused;
  DeviceText first(device->encoding, t);
  DeviceText second(device->encoding, a);
  if (!first.ok() || !second.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { (c.*send)(p, first.c_str(), second.c_str(), o); });
}

}  // namespace

extern "C" {

// ---- Handles, results, texts ---------------------------------------------------------------

int VMLCMD_CALL vmlcmd_device_open(const char* host, int port, const char* user, const char* password,
                                   vmlcmd_device** out) {
  if (out == nullptr) return kRefused;
  *out = nullptr;
  DeviceText address(VMLCMD_TEXT_ENCODING_CP936, host);
  DeviceText name(VMLCMD_TEXT_ENCODING_CP936, user);
  DeviceText secret(VMLCMD_TEXT_ENCODING_CP936, password);
  if (!address.ok() || !name.ok() || !secret.ok() || port < 0 || port > 65535) return kRefused;
  vmlcmd_device* device = new (std::nothrow) vmlcmd_device;
  if (device == nullptr) return VMLCMD_STATUS_OUT_OF_MEMORY;
  device->command = CreateICommand();
  if (device->command == nullptr) {
    delete device;
    return VMLCMD_STATUS_OUT_OF_MEMORY;
  }
  // Sends nothing; refuses texts too long for the object's fields.
  if (!device->command->SetNetworkTarget(address.c_str(), port, name.c_str(), secret.c_str())) {
    device->command->Release();
    delete device;
    return kRefused;
  }
  Record(device, VMLCMD_OK);
  *out = device;
  return VMLCMD_OK;
}

void VMLCMD_CALL vmlcmd_device_close(vmlcmd_device* device) {
  if (device == nullptr) return;
  device->command->Release();
  delete device;
}

int VMLCMD_CALL vmlcmd_set_video_port(vmlcmd_device* device, int video_port) {
  if (device == nullptr) return kRefused;
  device->command->SetVideoPort(video_port);
  return Record(device, VMLCMD_OK);
}

int VMLCMD_CALL vmlcmd_last_result(vmlcmd_device* device, vmlcmd_result* result) {
  constexpr std::size_t kLeast = sizeof(unsigned int) + sizeof(int);
  if (device == nullptr || result == nullptr || result->size < kLeast) return kRefused;
  vmlcmd_result record = device->last;
  const std::size_t size = result->size < sizeof record ? result->size : sizeof record;
  record.size = result->size;  // the caller's size stays: it says what the caller has room for
  std::memcpy(result, &record, size);
  return VMLCMD_OK;
}

const char* VMLCMD_CALL vmlcmd_status_text(int status) {
  if (status == VMLCMD_OK) return "success";
  if (status == VMLCMD_STATUS_OUT_OF_MEMORY) return "out of memory";
  const char* text = status == VmlCmdStageSuccess ? nullptr : vml::EnglishStageText(status);
  return text != nullptr ? text : "unknown status";
}

int VMLCMD_CALL vmlcmd_version(void) { return VMLCMD_VERSION_NUMBER; }

int VMLCMD_CALL vmlcmd_text_encoding(const char* name) {
  if (name == nullptr) return -1;
  char lower[16] = {};
  const std::size_t length = std::strlen(name);
  if (length == 0 || length >= sizeof lower) return -1;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  int codePage = -1;
  if (std::strcmp(lower, "gbk") == 0) {
    codePage = VMLCMD_TEXT_ENCODING_CP936;
  } else if (std::strcmp(lower, "utf-8") == 0 || std::strcmp(lower, "utf8") == 0) {
    codePage = VMLCMD_TEXT_ENCODING_UTF8;
  } else {
    const char* digits = std::strncmp(lower, "cp", 2) == 0 ? lower + 2 : lower;
    if (*digits == '\0' || std::strlen(digits) > 5) return -1;
    codePage = 0;
    for (const char* d = digits; *d != '\0'; ++d) {
      if (*d < '0' || *d > '9') return -1;
      codePage = codePage * 10 + (*d - '0');
    }
  }
  return IsConvertible(codePage) ? codePage : -1;
}

int VMLCMD_CALL vmlcmd_text_to_device(int encoding, const char* text, char* out, size_t size) {
  if (text == nullptr || out == nullptr || size < 1) return -1;
  return vml::platform::Utf8ToDeviceText(encoding, text, out, size);
}

int VMLCMD_CALL vmlcmd_text_from_device(int encoding, const char* bytes, char* out, size_t size) {
  if (bytes == nullptr || out == nullptr || size < 1) return -1;
  return vml::platform::DeviceTextToUtf8(encoding, bytes, out, size, true);
}

int VMLCMD_CALL vmlcmd_set_text_encoding(vmlcmd_device* device, int encoding) {
  if (device == nullptr) return kRefused;
  if (!IsConvertible(encoding)) return Record(device, kRefused);
  device->encoding = encoding;
  return Record(device, VMLCMD_OK);
}

// ---- Clock, account, system ----------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_device_time(vmlcmd_device* device, int year, int month, int day, int hour,
                                       int minute, int second) {
  if (device == nullptr) return kRefused;
  if (!IsByte(month) || !IsByte(day) || !IsByte(hour) || !IsByte(minute) || !IsByte(second)) {
    return Record(device, kRefused);
  }
  return Run(device, [&](ICommand& c) {
    c.SetDeviceTime(year, static_cast<uint8_t>(month), static_cast<uint8_t>(day), static_cast<uint8_t>(hour),
                    static_cast<uint8_t>(minute), static_cast<uint8_t>(second));
  });
}

int VMLCMD_CALL vmlcmd_send_command_8(vmlcmd_device* device) {
  return Run(device, [](ICommand& c) { c.SendCommand8(); });
}

int VMLCMD_CALL vmlcmd_send_command_9(vmlcmd_device* device) {
  return Run(device, [](ICommand& c) { c.SendCommand9(); });
}

int VMLCMD_CALL vmlcmd_set_account(vmlcmd_device* device, const char* user, const char* password) {
  if (device == nullptr) return kRefused;
  DeviceText name(device->encoding, user);
  DeviceText secret(device->encoding, password);
  if (!name.ok() || !secret.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetAccount(name.c_str(), secret.c_str()); });
}

int VMLCMD_CALL vmlcmd_set_port_setting(vmlcmd_device* device, int port, int value) {
  if (device == nullptr) return kRefused;
  if (!IsByte(value)) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetPortSetting(port, static_cast<uint8_t>(value)); });
}
int VMLCMD_CALL vmlcmd_get_bsp_version(vmlcmd_device* device, int* version) {
  return GetNumber(device, version, [](ICommand& c) { return VmlCmdQueryBspVersion(&c); });
}
int VMLCMD_CALL vmlcmd_get_napi_version(vmlcmd_device* device, int* version) {
  return GetNumber(device, version, [](ICommand& c) { return VmlCmdQueryNapiVersion(&c); });
}

// ---- Network identity ----------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_network_config(vmlcmd_device* device, const char* ip_address,
                                          const char* subnet_mask, const char* gateway) {
  if (device == nullptr) return kRefused;
  DeviceText address(device->encoding, ip_address);
  DeviceText mask(device->encoding, subnet_mask);
  DeviceText router(device->encoding, gateway);
  if (!address.ok() || !mask.ok() || !router.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetNetworkConfig(address.c_str(), mask.c_str(), router.c_str()); });
}

int VMLCMD_CALL vmlcmd_set_ip_address(vmlcmd_device* device, const char* ip_address) {
  return SetText(device, ip_address, &ICommand::SetIpAddress);
}
int VMLCMD_CALL vmlcmd_get_ip_address(vmlcmd_device* device, char* ip_address, size_t size) {
  return GetAddress(device, ip_address, size, &ICommand::GetIpAddress);
}
int VMLCMD_CALL vmlcmd_set_subnet_mask(vmlcmd_device* device, const char* subnet_mask) {
  return SetText(device, subnet_mask, &ICommand::SetSubnetMask);
}
int VMLCMD_CALL vmlcmd_get_subnet_mask(vmlcmd_device* device, char* subnet_mask, size_t size) {
  return GetAddress(device, subnet_mask, size, &ICommand::GetSubnetMask);
}
int VMLCMD_CALL vmlcmd_set_gateway(vmlcmd_device* device, const char* gateway) {
  return SetText(device, gateway, &ICommand::SetGateway);
}
int VMLCMD_CALL vmlcmd_get_gateway(vmlcmd_device* device, char* gateway, size_t size) {
  return GetAddress(device, gateway, size, &ICommand::GetGateway);
}

// ---- Serial line and PTZ heads -------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_ptz_protocol(vmlcmd_device* device, int protocol, int ptz_index) {
  return Run(device, [&](ICommand& c) { c.SetPtzProtocol(protocol, ptz_index); });
}
int VMLCMD_CALL vmlcmd_set_ptz_address(vmlcmd_device* device, int address, int ptz_index) {
  return Run(device, [&](ICommand& c) { c.SetPtzAddress(address, ptz_index); });
}
int VMLCMD_CALL vmlcmd_set_serial_baud_rate(vmlcmd_device* device, int baud_rate) {
  return SetValue(device, baud_rate, &ICommand::SetSerialBaudRate);
}
int VMLCMD_CALL vmlcmd_get_serial_baud_rate(vmlcmd_device* device, int* baud_rate) {
  return GetValue(device, baud_rate, &ICommand::GetSerialBaudRate);
}
int VMLCMD_CALL vmlcmd_set_ptz_parameters(vmlcmd_device* device, int r_value, int s_value) {
  return Run(device, [&](ICommand& c) { c.SetPtzParameters(r_value, s_value); });
}

// ---- PTZ movement --------------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_ptz_auto(vmlcmd_device* device, int on) {
  return Run(device, [&](ICommand& c) { c.PtzAuto(on != 0); });
}
int VMLCMD_CALL vmlcmd_ptz_focus(vmlcmd_device* device, int direction) {
  return SetValue(device, direction, &ICommand::PtzFocus);
}
int VMLCMD_CALL vmlcmd_ptz_pan(vmlcmd_device* device, int direction) {
  return SetValue(device, direction, &ICommand::PtzPan);
}
int VMLCMD_CALL vmlcmd_ptz_tilt(vmlcmd_device* device, int direction) {
  return SetValue(device, direction, &ICommand::PtzTilt);
}
int VMLCMD_CALL vmlcmd_ptz_zoom(vmlcmd_device* device, int direction) {
  return SetValue(device, direction, &ICommand::PtzZoom);
}
int VMLCMD_CALL vmlcmd_ptz_iris(vmlcmd_device* device, int direction) {
  return SetValue(device, direction, &ICommand::PtzIris);
}
int VMLCMD_CALL vmlcmd_ptz_stop(vmlcmd_device* device) {
  return Run(device, [](ICommand& c) { c.PtzStop(); });
}

// ---- Commands 51 and 52 --------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_send_command_51(vmlcmd_device* device, int p, const char* t, const char* a, int o) {
  return SendPassThrough(device, p, t, a, o, &ICommand::SendCommand51);
}
int VMLCMD_CALL vmlcmd_send_command_52(vmlcmd_device* device, int p, const char* t, const char* a, int o) {
  return SendPassThrough(device, p, t, a, o, &ICommand::SendCommand52);
}

// ---- Encoder -------------------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_video_bitrate(vmlcmd_device* device, int bitrate) {
  return SetValue(device, bitrate, &ICommand::SetVideoBitrate);
}
int VMLCMD_CALL vmlcmd_get_video_bitrate(vmlcmd_device* device, int* bitrate) {
  return GetValue(device, bitrate, &ICommand::GetVideoBitrate);
}
int VMLCMD_CALL vmlcmd_set_video_frame_rate(vmlcmd_device* device, int frame_rate) {
  return SetValue(device, frame_rate, &ICommand::SetVideoFrameRate);
}
int VMLCMD_CALL vmlcmd_get_video_frame_rate(vmlcmd_device* device, int* frame_rate) {
  return GetValue(device, frame_rate, &ICommand::GetVideoFrameRate);
}
int VMLCMD_CALL vmlcmd_set_video_i_frame_interval(vmlcmd_device* device, int interval) {
  return SetValue(device, interval, &ICommand::SetVideoIFrameInterval);
}
int VMLCMD_CALL vmlcmd_get_video_i_frame_interval(vmlcmd_device* device, int* interval) {
  return GetValue(device, interval, &ICommand::GetVideoIFrameInterval);
}
int VMLCMD_CALL vmlcmd_set_video_param_r(vmlcmd_device* device, int value) {
  return SetValue(device, value, &ICommand::SetVideoParamR);
}
int VMLCMD_CALL vmlcmd_get_video_param_r(vmlcmd_device* device, int* value) {
  return GetValue(device, value, &ICommand::GetVideoParamR);
}
int VMLCMD_CALL vmlcmd_set_video_quant_step(vmlcmd_device* device, int quant_step) {
  return SetValue(device, quant_step, &ICommand::SetVideoQuantStep);
}
int VMLCMD_CALL vmlcmd_get_video_quant_step(vmlcmd_device* device, int* quant_step) {
  return GetValue(device, quant_step, &ICommand::GetVideoQuantStep);
}
int VMLCMD_CALL vmlcmd_set_video_param_t(vmlcmd_device* device, const char* value_text, int video_port) {
  if (device == nullptr) return kRefused;
  DeviceText text(device->encoding, value_text);
  if (!text.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetVideoParamT(text.c_str(), video_port); });
}

// ---- Picture -------------------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_brightness(vmlcmd_device* device, int brightness) {
  return SetValue(device, brightness, &ICommand::SetBrightness);
}
int VMLCMD_CALL vmlcmd_get_brightness(vmlcmd_device* device, int* brightness) {
  return GetValue(device, brightness, &ICommand::GetBrightness);
}
int VMLCMD_CALL vmlcmd_set_contrast(vmlcmd_device* device, int contrast) {
  return SetValue(device, contrast, &ICommand::SetContrast);
}
int VMLCMD_CALL vmlcmd_get_contrast(vmlcmd_device* device, int* contrast) {
  return GetValue(device, contrast, &ICommand::GetContrast);
}
int VMLCMD_CALL vmlcmd_set_saturation(vmlcmd_device* device, int saturation) {
  return SetValue(device, saturation, &ICommand::SetSaturation);
}
int VMLCMD_CALL vmlcmd_get_saturation(vmlcmd_device* device, int* saturation) {
  return GetValue(device, saturation, &ICommand::GetSaturation);
}
int VMLCMD_CALL vmlcmd_set_hue(vmlcmd_device* device, int hue) {
  return SetValue(device, hue, &ICommand::SetHue);
}
int VMLCMD_CALL vmlcmd_get_hue(vmlcmd_device* device, int* hue) {
  return GetValue(device, hue, &ICommand::GetHue);
}

// ---- All video settings --------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_get_video_settings(vmlcmd_device* device, vmlcmd_video_settings* settings) {
  if (device == nullptr) return kRefused;
  if (settings == nullptr || settings->size < sizeof *settings) return Record(device, kRefused);
  VideoSettings values{};
  int status = Run(device, [&](ICommand& c) { c.GetVideoSettings(&values); });
  if (status != VMLCMD_OK) return status;
  settings->param_t = values.paramT;
  settings->bitrate = values.bitrate;
  settings->frame_rate = values.frameRate;
  settings->i_frame_interval = values.iFrameInterval;
  settings->quant_step = values.quantStep;
  settings->param_r = values.paramR;
  settings->brightness = values.brightness;
  settings->contrast = values.contrast;
  settings->saturation = values.saturation;
  settings->hue = values.hue;
  return status;
}

int VMLCMD_CALL vmlcmd_set_video_settings(vmlcmd_device* device, const vmlcmd_video_settings* settings) {
  if (device == nullptr) return kRefused;
  if (settings == nullptr || settings->size < sizeof *settings) return Record(device, kRefused);
  const VideoSettings values{0,
                             settings->param_t,
                             settings->bitrate,
                             settings->frame_rate,
                             settings->i_frame_interval,
                             settings->quant_step,
                             settings->param_r,
                             settings->brightness,
                             settings->contrast,
                             settings->saturation,
                             settings->hue};
  return Run(device, [&](ICommand& c) { c.SetVideoSettings(&values); });
}

int VMLCMD_CALL vmlcmd_restore_video_defaults(vmlcmd_device* device) {
  return Run(device, [](ICommand& c) { c.RestoreVideoDefaults(); });
}

// ---- Regions -------------------------------------------------------------------------------

int VMLCMD_CALL vmlcmd_set_mask_region(vmlcmd_device* device, int enabled, int left, int top, int width,
                                       int height) {
  return Run(device, [&](ICommand& c) { c.SetMaskRegion(enabled != 0, left, top, width, height, 0); });
}

int VMLCMD_CALL vmlcmd_get_mask_region(vmlcmd_device* device, int* enabled, int* left, int* top, int* width,
                                       int* height) {
  if (device == nullptr) return kRefused;
  if (!enabled || !left || !top || !width || !height) return Record(device, kRefused);
  bool on = false;
  int32_t l = 0, t = 0, w = 0, h = 0;
  int status = Run(device, [&](ICommand& c) { c.GetMaskRegion(&on, &l, &t, &w, &h, 0); });
  if (status != VMLCMD_OK) return status;
  *enabled = on ? 1 : 0;
  *left = l;
  *top = t;
  *width = w;
  *height = h;
  return status;
}

int VMLCMD_CALL vmlcmd_set_motion_region(vmlcmd_device* device, int enabled, int left, int top, int width,
                                         int height, int sensitivity) {
  return Run(device,
             [&](ICommand& c) { c.SetMotionRegion(enabled != 0, left, top, width, height, sensitivity, 0); });
}

int VMLCMD_CALL vmlcmd_get_motion_region(vmlcmd_device* device, int* enabled, int* left, int* top, int* width,
                                         int* height, int* sensitivity) {
  if (device == nullptr) return kRefused;
  if (!enabled || !left || !top || !width || !height || !sensitivity) return Record(device, kRefused);
  bool on = false;
  int32_t l = 0, t = 0, w = 0, h = 0, d = 0;
  int status = Run(device, [&](ICommand& c) { c.GetMotionRegion(&on, &l, &t, &w, &h, &d, 0); });
  if (status != VMLCMD_OK) return status;
  *enabled = on ? 1 : 0;
  *left = l;
  *top = t;
  *width = w;
  *height = h;
  *sensitivity = d;
  return status;
}

// ---- Overlay -------------------------------------------------------------------------------
// The table takes a position index 0 to 7 and reads back the device's 1 to 8; here both ways
// are 1 to 8, so what is read can be written back as it is.

int VMLCMD_CALL vmlcmd_set_osd_caption(vmlcmd_device* device, int show, int position, const char* text) {
  if (device == nullptr) return kRefused;
  DeviceText caption(device->encoding, text);
  if (!IsPosition(position) || !caption.ok()) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetOsdCaption(show != 0, position - 1, caption.c_str()); });
}

int VMLCMD_CALL vmlcmd_get_osd_caption(vmlcmd_device* device, int* show, int* position, char* text,
                                       size_t size) {
  if (device == nullptr) return kRefused;
  if (show == nullptr || position == nullptr || text == nullptr || size < 1) return Record(device, kRefused);
  bool shown = false;
  int32_t where = 0;
  char caption[kReplyCapacity] = {};
  int status =
      Run(device, [&](ICommand& c) { VmlCmdGetOsdCaptionEx(&c, &shown, &where, caption, sizeof caption); });
  if (status != VMLCMD_OK) return status;
  *show = shown ? 1 : 0;
  *position = where;
  CopyOut(device->encoding, caption, text, size);
  return status;
}

int VMLCMD_CALL vmlcmd_set_osd_time(vmlcmd_device* device, int show, int position) {
  if (device == nullptr) return kRefused;
  if (!IsPosition(position)) return Record(device, kRefused);
  return Run(device, [&](ICommand& c) { c.SetOsdTime(show != 0, position - 1); });
}

int VMLCMD_CALL vmlcmd_get_osd_time(vmlcmd_device* device, int* show, int* position) {
  if (device == nullptr) return kRefused;
  if (show == nullptr || position == nullptr) return Record(device, kRefused);
  bool shown = false;
  int32_t where = 0;
  int status = Run(device, [&](ICommand& c) { c.GetOsdTime(&shown, &where); });
  if (status != VMLCMD_OK) return status;
  *show = shown ? 1 : 0;
  *position = where;
  return status;
}

}  // extern "C"
