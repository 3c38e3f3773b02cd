// An ICommand that logs every operation the dialogs call, with its arguments, and answers
// what a test prepared: int operations return numbers[name] (0 by default), bool operations
// true unless the name is in failing.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"

namespace vml::ui::testing {

class RecordingCommand final : public ICommand {
 public:
  std::vector<std::string> calls;  // "Name(arg,arg)"
  std::map<std::string, std::int32_t> numbers;
  std::set<std::string> failing;

  // GetOsdCaption writes these; captionBytes are copied as they are, NUL or not.
  bool captionShown = false;
  std::int32_t captionPosition = 0;
  std::string captionBytes;
  bool timeShown = false;
  std::int32_t timePosition = 0;

  bool GetOsdCaption(bool* show, int32_t* position, char* caption) override {
    Record("GetOsdCaption");
    if (!Succeeds("GetOsdCaption")) return false;
    *show = captionShown;
    *position = captionPosition;
    std::memcpy(caption, captionBytes.data(), captionBytes.size());
    return true;
  }
  bool GetOsdTime(bool* show, int32_t* position) override {
    Record("GetOsdTime");
    if (!Succeeds("GetOsdTime")) return false;
    *show = timeShown;
    *position = timePosition;
    return true;
  }
  bool GetVideoSettings(VideoSettings* /*settings*/) override {
    Record("GetVideoSettings");
    return Succeeds("GetVideoSettings");
  }
  bool SetVideoSettings(const VideoSettings* /*settings*/) override {
    Record("SetVideoSettings");
    return Succeeds("SetVideoSettings");
  }
  void Release() override { Record("Release"); }

  // The rest of the table, one line per operation.
  // clang-format off
  int32_t GetVendorName(int32_t bufferSize, char* /*name*/) override { Record("GetVendorName", {Arg(bufferSize)}); return Number("GetVendorName"); }
  int32_t Reserved1() override { Record("Reserved1"); return Number("Reserved1"); }
  int32_t Reserved2() override { Record("Reserved2"); return Number("Reserved2"); }
  bool Reserved3(int32_t a0, int32_t a1, int32_t a2) override { Record("Reserved3", {Arg(a0), Arg(a1), Arg(a2)}); return Succeeds("Reserved3"); }
  int32_t Reserved4(int32_t a0, int32_t a1, int32_t a2) override { Record("Reserved4", {Arg(a0), Arg(a1), Arg(a2)}); return Number("Reserved4"); }
  int32_t GetErrorText(int32_t bufferSize, char* /*text*/) override { Record("GetErrorText", {Arg(bufferSize)}); return Number("GetErrorText"); }
  bool SetReservedValue(int32_t value) override { Record("SetReservedValue", {Arg(value)}); return Succeeds("SetReservedValue"); }
  bool OpenSerialLink(int32_t portNumber) override { Record("OpenSerialLink", {Arg(portNumber)}); return Succeeds("OpenSerialLink"); }
  bool SetNetworkTarget(const char* ipAddress, int32_t port, const char* userName, const char* password) override { Record("SetNetworkTarget", {Text(ipAddress), Arg(port), Text(userName), Text(password)}); return Succeeds("SetNetworkTarget"); }
  bool Reserved10(int32_t a0, int32_t a1, int32_t a2) override { Record("Reserved10", {Arg(a0), Arg(a1), Arg(a2)}); return Succeeds("Reserved10"); }
  int32_t Reserved11() override { Record("Reserved11"); return Number("Reserved11"); }
  int32_t Reserved12() override { Record("Reserved12"); return Number("Reserved12"); }
  bool SetDeviceTime(int32_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute, uint8_t second) override { Record("SetDeviceTime", {Arg(year), Arg(month), Arg(day), Arg(hour), Arg(minute), Arg(second)}); return Succeeds("SetDeviceTime"); }
  bool SetNetworkConfig(const char* ipAddress, const char* subnetMask, const char* gateway) override { Record("SetNetworkConfig", {Text(ipAddress), Text(subnetMask), Text(gateway)}); return Succeeds("SetNetworkConfig"); }
  bool SendCommand8() override { Record("SendCommand8"); return Succeeds("SendCommand8"); }
  bool SendCommand9() override { Record("SendCommand9"); return Succeeds("SendCommand9"); }
  bool SetAccount(const char* userName, const char* password) override { Record("SetAccount", {Text(userName), Text(password)}); return Succeeds("SetAccount"); }
  bool SetPortSetting(int32_t port, uint8_t value) override { Record("SetPortSetting", {Arg(port), Arg(value)}); return Succeeds("SetPortSetting"); }
  void SetVideoPort(int32_t videoPort) override { Record("SetVideoPort", {Arg(videoPort)}); }
  bool CloseLink() override { Record("CloseLink"); return Succeeds("CloseLink"); }
  bool Reserved21(int32_t a0) override { Record("Reserved21", {Arg(a0)}); return Succeeds("Reserved21"); }
  bool Reserved22(int32_t a0) override { Record("Reserved22", {Arg(a0)}); return Succeeds("Reserved22"); }
  bool SetIpAddress(const char* ipAddress) override { Record("SetIpAddress", {Text(ipAddress)}); return Succeeds("SetIpAddress"); }
  bool GetIpAddress(char* /*ipAddress*/) override { Record("GetIpAddress"); return Succeeds("GetIpAddress"); }
  bool SetSubnetMask(const char* subnetMask) override { Record("SetSubnetMask", {Text(subnetMask)}); return Succeeds("SetSubnetMask"); }
  bool GetSubnetMask(char* /*subnetMask*/) override { Record("GetSubnetMask"); return Succeeds("GetSubnetMask"); }
  bool SetGateway(const char* gateway) override { Record("SetGateway", {Text(gateway)}); return Succeeds("SetGateway"); }
  bool GetGateway(char* /*gateway*/) override { Record("GetGateway"); return Succeeds("GetGateway"); }
  int32_t ShowDeviceConfigDialog() override { Record("ShowDeviceConfigDialog"); return Number("ShowDeviceConfigDialog"); }
  bool SetPtzProtocol(int32_t protocol, int32_t ptzIndex) override { Record("SetPtzProtocol", {Arg(protocol), Arg(ptzIndex)}); return Succeeds("SetPtzProtocol"); }
  bool SetPtzAddress(int32_t address, int32_t ptzIndex) override { Record("SetPtzAddress", {Arg(address), Arg(ptzIndex)}); return Succeeds("SetPtzAddress"); }
  bool SetSerialBaudRate(int32_t baudRate) override { Record("SetSerialBaudRate", {Arg(baudRate)}); return Succeeds("SetSerialBaudRate"); }
  int32_t GetSerialBaudRate() override { Record("GetSerialBaudRate"); return Number("GetSerialBaudRate"); }
  bool SetPtzAux(int32_t auxIndex, bool on) override { Record("SetPtzAux", {Arg(auxIndex), Arg(on)}); return Succeeds("SetPtzAux"); }
  bool SetPtzLight(bool on) override { Record("SetPtzLight", {Arg(on)}); return Succeeds("SetPtzLight"); }
  bool SetPtzWiper(bool on) override { Record("SetPtzWiper", {Arg(on)}); return Succeeds("SetPtzWiper"); }
  bool PtzAuto(bool on) override { Record("PtzAuto", {Arg(on)}); return Succeeds("PtzAuto"); }
  bool PtzFocus(int32_t direction) override { Record("PtzFocus", {Arg(direction)}); return Succeeds("PtzFocus"); }
  bool PtzPan(int32_t direction) override { Record("PtzPan", {Arg(direction)}); return Succeeds("PtzPan"); }
  bool Reserved40(int32_t a0) override { Record("Reserved40", {Arg(a0)}); return Succeeds("Reserved40"); }
  bool PtzTilt(int32_t direction) override { Record("PtzTilt", {Arg(direction)}); return Succeeds("PtzTilt"); }
  bool Reserved42(int32_t a0) override { Record("Reserved42", {Arg(a0)}); return Succeeds("Reserved42"); }
  bool Reserved43(int32_t a0) override { Record("Reserved43", {Arg(a0)}); return Succeeds("Reserved43"); }
  bool PtzZoom(int32_t direction) override { Record("PtzZoom", {Arg(direction)}); return Succeeds("PtzZoom"); }
  bool PtzIris(int32_t direction) override { Record("PtzIris", {Arg(direction)}); return Succeeds("PtzIris"); }
  bool PtzStop() override { Record("PtzStop"); return Succeeds("PtzStop"); }
  int32_t ShowPtzControlDialog() override { Record("ShowPtzControlDialog"); return Number("ShowPtzControlDialog"); }
  bool SendCommand51(int32_t p, const char* t, const char* a, int32_t o) override { Record("SendCommand51", {Arg(p), Text(t), Text(a), Arg(o)}); return Succeeds("SendCommand51"); }
  bool SendCommand52(int32_t p, const char* t, const char* a, int32_t o) override { Record("SendCommand52", {Arg(p), Text(t), Text(a), Arg(o)}); return Succeeds("SendCommand52"); }
  bool SetVideoBitrate(int32_t bitrate) override { Record("SetVideoBitrate", {Arg(bitrate)}); return Succeeds("SetVideoBitrate"); }
  int32_t GetVideoBitrate() override { Record("GetVideoBitrate"); return Number("GetVideoBitrate"); }
  bool SetVideoFrameRate(int32_t frameRate) override { Record("SetVideoFrameRate", {Arg(frameRate)}); return Succeeds("SetVideoFrameRate"); }
  int32_t GetVideoFrameRate() override { Record("GetVideoFrameRate"); return Number("GetVideoFrameRate"); }
  bool SetVideoIFrameInterval(int32_t interval) override { Record("SetVideoIFrameInterval", {Arg(interval)}); return Succeeds("SetVideoIFrameInterval"); }
  int32_t GetVideoIFrameInterval() override { Record("GetVideoIFrameInterval"); return Number("GetVideoIFrameInterval"); }
  bool SetVideoParamR(int32_t value) override { Record("SetVideoParamR", {Arg(value)}); return Succeeds("SetVideoParamR"); }
  int32_t GetVideoParamR() override { Record("GetVideoParamR"); return Number("GetVideoParamR"); }
  bool SetBrightness(int32_t brightness) override { Record("SetBrightness", {Arg(brightness)}); return Succeeds("SetBrightness"); }
  int32_t GetBrightness() override { Record("GetBrightness"); return Number("GetBrightness"); }
  bool SetContrast(int32_t contrast) override { Record("SetContrast", {Arg(contrast)}); return Succeeds("SetContrast"); }
  int32_t GetContrast() override { Record("GetContrast"); return Number("GetContrast"); }
  bool SetSaturation(int32_t saturation) override { Record("SetSaturation", {Arg(saturation)}); return Succeeds("SetSaturation"); }
  int32_t GetSaturation() override { Record("GetSaturation"); return Number("GetSaturation"); }
  bool SetHue(int32_t hue) override { Record("SetHue", {Arg(hue)}); return Succeeds("SetHue"); }
  int32_t GetHue() override { Record("GetHue"); return Number("GetHue"); }
  bool SetMaskRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height, int32_t reserved) override { Record("SetMaskRegion", {Arg(enabled), Arg(left), Arg(top), Arg(width), Arg(height), Arg(reserved)}); return Succeeds("SetMaskRegion"); }
  bool GetMaskRegion(bool* /*enabled*/, int32_t* /*left*/, int32_t* /*top*/, int32_t* /*width*/, int32_t* /*height*/, int32_t reserved) override { Record("GetMaskRegion", {Arg(reserved)}); return Succeeds("GetMaskRegion"); }
  bool SetMotionRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height, int32_t sensitivity, int32_t reserved) override { Record("SetMotionRegion", {Arg(enabled), Arg(left), Arg(top), Arg(width), Arg(height), Arg(sensitivity), Arg(reserved)}); return Succeeds("SetMotionRegion"); }
  bool GetMotionRegion(bool* /*enabled*/, int32_t* /*left*/, int32_t* /*top*/, int32_t* /*width*/, int32_t* /*height*/, int32_t* /*sensitivity*/, int32_t reserved) override { Record("GetMotionRegion", {Arg(reserved)}); return Succeeds("GetMotionRegion"); }
  bool SetOsdCaption(bool show, int32_t positionIndex, const char* caption) override { Record("SetOsdCaption", {Arg(show), Arg(positionIndex), Text(caption)}); return Succeeds("SetOsdCaption"); }
  bool SetOsdTime(bool show, int32_t positionIndex) override { Record("SetOsdTime", {Arg(show), Arg(positionIndex)}); return Succeeds("SetOsdTime"); }
  bool Reserved74(int32_t a0) override { Record("Reserved74", {Arg(a0)}); return Succeeds("Reserved74"); }
  bool Reserved75(int32_t a0) override { Record("Reserved75", {Arg(a0)}); return Succeeds("Reserved75"); }
  bool Reserved76() override { Record("Reserved76"); return Succeeds("Reserved76"); }
  bool SetVideoQuantStep(int32_t quantStep) override { Record("SetVideoQuantStep", {Arg(quantStep)}); return Succeeds("SetVideoQuantStep"); }
  int32_t GetVideoQuantStep() override { Record("GetVideoQuantStep"); return Number("GetVideoQuantStep"); }
  int32_t ShowVideoSettingsDialog() override { Record("ShowVideoSettingsDialog"); return Number("ShowVideoSettingsDialog"); }
  bool Reserved80(int32_t a0, int32_t a1) override { Record("Reserved80", {Arg(a0), Arg(a1)}); return Succeeds("Reserved80"); }
  bool Reserved81(int32_t a0, int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5) override { Record("Reserved81", {Arg(a0), Arg(a1), Arg(a2), Arg(a3), Arg(a4), Arg(a5)}); return Succeeds("Reserved81"); }
  int32_t Reserved82() override { Record("Reserved82"); return Number("Reserved82"); }
  int32_t Reserved83() override { Record("Reserved83"); return Number("Reserved83"); }
  bool RestoreVideoDefaults() override { Record("RestoreVideoDefaults"); return Succeeds("RestoreVideoDefaults"); }
  bool SetAudioVolume(int32_t volume) override { Record("SetAudioVolume", {Arg(volume)}); return Succeeds("SetAudioVolume"); }
  int32_t Reserved88() override { Record("Reserved88"); return Number("Reserved88"); }
  bool SetAudioMute(bool on) override { Record("SetAudioMute", {Arg(on)}); return Succeeds("SetAudioMute"); }
  bool SetPtzParameters(int32_t rValue, int32_t sValue) override { Record("SetPtzParameters", {Arg(rValue), Arg(sValue)}); return Succeeds("SetPtzParameters"); }
  bool SetVideoParamT(const char* valueText, int32_t videoPortNumber) override { Record("SetVideoParamT", {Text(valueText), Arg(videoPortNumber)}); return Succeeds("SetVideoParamT"); }
  // clang-format on

  void Record(const char* name, std::initializer_list<std::string> arguments = {}) {
    std::string call = std::string(name) + "(";
    const char* separator = "";
    for (const std::string& argument : arguments) {
      call += separator + argument;
      separator = ",";
    }
    calls.push_back(call + ")");
  }

 private:
  static std::string Arg(std::int64_t value) { return std::to_string(value); }
  static std::string Text(const char* text) {
    return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
  }
  bool Succeeds(const std::string& name) const { return failing.count(name) == 0; }
  std::int32_t Number(const std::string& name) const {
    auto found = numbers.find(name);
    return found == numbers.end() ? 0 : found->second;
  }
};

}  // namespace vml::ui::testing
