// The one implementation of ICommand. Its table has 93 entries: the 92 operations in slot
// order and, last, the deleting destructor with a flags argument, the form hosts built with
// other compilers expect at entry 92. There is deliberately no C++ virtual destructor: under the
// Itanium ABI it would take two entries and move entry 92.
//
// The operations are defined by family: core/ (this object, links, result texts), commands/
// (one file per device family). Every device operation prepares its request and runs it through
// the session's one transaction.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VmlCmd/ICommand.h"
#include "core/SerialLink.h"
#include "napi/Session.h"

namespace vml {

class NapiCommand final : public ICommand {
 public:
  NapiCommand() = default;
  NapiCommand(const NapiCommand&) = delete;
  NapiCommand& operator=(const NapiCommand&) = delete;

  int32_t GetVendorName(int32_t bufferSize, char* name) override;
  int32_t Reserved1() override;
  int32_t Reserved2() override;
  bool Reserved3(int32_t, int32_t, int32_t) override;
  int32_t Reserved4(int32_t, int32_t, int32_t) override;
  int32_t GetErrorText(int32_t bufferSize, char* text) override;
  bool SetReservedValue(int32_t value) override;
  void Release() override;
  bool OpenSerialLink(int32_t portNumber) override;
  bool SetNetworkTarget(const char* ipAddress, int32_t port, const char* userName,
                        const char* password) override;
  bool Reserved10(int32_t, int32_t, int32_t) override;
  int32_t Reserved11() override;
  int32_t Reserved12() override;
  bool SetDeviceTime(int32_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                     uint8_t second) override;
  bool SetNetworkConfig(const char* ipAddress, const char* subnetMask, const char* gateway) override;
  bool SendCommand8() override;
  bool SendCommand9() override;
  bool SetAccount(const char* userName, const char* password) override;
  bool SetPortSetting(int32_t port, uint8_t value) override;
  void SetVideoPort(int32_t videoPort) override;
  bool CloseLink() override;
  bool Reserved21(int32_t) override;
  bool Reserved22(int32_t) override;
  bool SetIpAddress(const char* ipAddress) override;
  bool GetIpAddress(char* ipAddress) override;
  bool SetSubnetMask(const char* subnetMask) override;
  bool GetSubnetMask(char* subnetMask) override;
  bool SetGateway(const char* gateway) override;
  bool GetGateway(char* gateway) override;
  int32_t ShowDeviceConfigDialog() override;
  bool SetPtzProtocol(int32_t protocol, int32_t ptzIndex) override;
  bool SetPtzAddress(int32_t address, int32_t ptzIndex) override;
  bool SetSerialBaudRate(int32_t baudRate) override;
  int32_t GetSerialBaudRate() override;
  bool SetPtzAux(int32_t auxIndex, bool on) override;
  bool SetPtzLight(bool on) override;
  bool SetPtzWiper(bool on) override;
  bool PtzAuto(bool on) override;
  bool PtzFocus(int32_t direction) override;
  bool PtzPan(int32_t direction) override;
  bool Reserved40(int32_t) override;
  bool PtzTilt(int32_t direction) override;
  bool Reserved42(int32_t) override;
  bool Reserved43(int32_t) override;
  bool PtzZoom(int32_t direction) override;
  bool PtzIris(int32_t direction) override;
  bool PtzStop() override;
  int32_t ShowPtzControlDialog() override;
  bool SendCommand51(int32_t p, const char* t, const char* a, int32_t o) override;
  bool SendCommand52(int32_t p, const char* t, const char* a, int32_t o) override;
  bool SetVideoBitrate(int32_t bitrate) override;
  int32_t GetVideoBitrate() override;
  bool SetVideoFrameRate(int32_t frameRate) override;
  int32_t GetVideoFrameRate() override;
  bool SetVideoIFrameInterval(int32_t interval) override;
  int32_t GetVideoIFrameInterval() override;
  bool SetVideoParamR(int32_t value) override;
  int32_t GetVideoParamR() override;
  bool SetBrightness(int32_t brightness) override;
  int32_t GetBrightness() override;
  bool SetContrast(int32_t contrast) override;
  int32_t GetContrast() override;
  bool SetSaturation(int32_t saturation) override;
  int32_t GetSaturation() override;
  bool SetHue(int32_t hue) override;
  int32_t GetHue() override;
  bool SetMaskRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                     int32_t reserved) override;
  bool GetMaskRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                     int32_t reserved) override;
  bool SetMotionRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                       int32_t sensitivity, int32_t reserved) override;
  bool GetMotionRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                       int32_t* sensitivity, int32_t reserved) override;
  bool SetOsdCaption(bool show, int32_t positionIndex, const char* caption) override;
  bool GetOsdCaption(bool* show, int32_t* position, char* caption) override;
  bool SetOsdTime(bool show, int32_t positionIndex) override;
  bool GetOsdTime(bool* show, int32_t* position) override;
  bool Reserved74(int32_t) override;
  bool Reserved75(int32_t) override;
  bool Reserved76() override;
  bool SetVideoQuantStep(int32_t quantStep) override;
  int32_t GetVideoQuantStep() override;
  int32_t ShowVideoSettingsDialog() override;
  bool Reserved80(int32_t, int32_t) override;
  bool Reserved81(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override;
  int32_t Reserved82() override;
  int32_t Reserved83() override;
  bool GetVideoSettings(VideoSettings* settings) override;
  bool SetVideoSettings(const VideoSettings* settings) override;
  bool RestoreVideoDefaults() override;
  bool SetAudioVolume(int32_t volume) override;
  int32_t Reserved88() override;
  bool SetAudioMute(bool on) override;
  bool SetPtzParameters(int32_t rValue, int32_t sValue) override;
  bool SetVideoParamT(const char* valueText, int32_t videoPortNumber) override;

  // Entry 92: destroys the object and, when bit 0 of flags is set, frees its memory.
  virtual void DeletingDestructor(unsigned flags);

  // Operations outside the table, used by the device configuration dialog.
  bool QueryNetworkConfig(char* ipAddress, char* subnetMask, char* gateway);
  std::int32_t QueryBspVersion();
  std::int32_t QueryNapiVersion();
  // GetOsdCaption with a caption buffer of known size.
  bool GetOsdCaptionBounded(bool* show, std::int32_t* position, char* caption, std::size_t captionSize);

  ConnectionMode Mode() const { return connectionMode_; }
  std::int32_t VideoPort() const { return videoPort_; }
  const SerialLink& Serial() const { return serialLink_; }
  const napi::TcpChannel& Channel() const { return session_.channel; }
  const napi::Outcome& LastOutcome() const { return session_.LastOutcome(); }

 private:
  ~NapiCommand() = default;  // only through DeletingDestructor

  // Formats the request of the coming transaction. A text that does not fit is refused with
  // kInvalidArgument before anything is sent (callers refuse null texts the same way).
  // Refuses the arguments: result code kInvalidArgument, and false, recorded in the outcome.
  bool RefuseArguments();
  // An operation the device has no command for; setsCode: it sets result code 10.
  bool NotImplemented(bool setsCode = true);
  std::int32_t NotImplementedNumber();

  bool Prepare(std::int32_t command, napi::TextRule rule, const char* format, ...) VML_PRINTF(4, 5);
  bool PrepareHeaderOnly(std::int32_t command);
  bool Transact(napi::SuccessRule rule, napi::ReplyReader read = {});
  bool NetworkLink() const { return connectionMode_ == ConnectionModeNetwork; }
  // The number after letter, for getters whose reply holds one value.
  std::int32_t ReadOne(std::int32_t command, char letter, napi::SuccessRule rule, std::int32_t offset = 0);
  bool ReadAddress(char letter, char* output);
  std::int32_t QueryPortOneValue(std::int32_t command);
  bool Ptz(std::int32_t direction, std::int32_t positive, std::int32_t negative, napi::SuccessRule rule);
  bool PtzAction(std::int32_t action, napi::SuccessRule rule);
  bool SendCommand5x(std::int32_t command, std::int32_t p, const char* t, const char* a, std::int32_t o);
  // The combined video operations: two exchanges on one login, picture first, encoder second.
  bool TwoExchanges(napi::FunctionRef<void()> preparePicture, napi::ReplyReader readPicture,
                    napi::FunctionRef<void()> prepareEncoder, napi::ReplyReader readEncoder);

  SerialLink serialLink_;
  napi::Session session_;
  std::int32_t videoPort_ = 0;
  ConnectionMode connectionMode_ = ConnectionModeNone;
  std::int32_t reservedValue_ = 0;
};

// Refuses an operation's arguments where there is no object to record it: result code
// kInvalidArgument, and false.
bool RefuseArguments();

// True when none of the pointers is null.
template <class... Pointers>
bool AllGiven(const Pointers*... pointers) {
  return ((pointers != nullptr) && ...);
}

}  // namespace vml
