// The object itself: construction and destruction, the operations that never talk to a device,
// link management and the reserved slots.
#include "core/NapiCommand.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/ResultCode.h"
#include "platform/Platform.h"
#include "ui/Dialogs.h"

namespace vml {
namespace {

constexpr char kVendorName[] = "vormel";

// Copies text into a fixed field only when it fits with its NUL.
template <std::size_t Size>
bool Fits(const char* text, const char (&)[Size]) {
  return std::strlen(text) < Size;
}

}  // namespace

bool RefuseArguments() {
  SetLastErrorCode(kInvalidArgument);
  return false;
}

bool NapiCommand::RefuseArguments() {
  session_.Begin();
  session_.SetCode(kInvalidArgument);
  session_.Finish(VmlCmdStageArgumentRefused);
  return false;
}

bool NapiCommand::NotImplemented(bool setsCode) {
  session_.Begin();
  if (setsCode) session_.SetCode(kNotImplemented);
  session_.Finish(VmlCmdStageNotImplemented);
  return false;
}

int32_t NapiCommand::NotImplementedNumber() { return NotImplemented() ? 1 : 0; }

void NapiCommand::DeletingDestructor(unsigned flags) {
  session_.channel.Close();
  serialLink_.Close();
  this->~NapiCommand();
  if ((flags & 1u) != 0) ::operator delete(this);
}

// ---- Slots that do not talk to a device ---------------------------------------------------

int32_t NapiCommand::GetVendorName(int32_t bufferSize, char* name) {
  // bufferSize 0 is what hosts pass and means "large enough"; 1 to 6 (or a negative size)
  // cannot hold the name.
  if (name == nullptr || (bufferSize != 0 && bufferSize < static_cast<int32_t>(sizeof kVendorName))) return 0;
  return platform::GuardedCopy(name, kVendorName, sizeof kVendorName)
             ? static_cast<int32_t>(sizeof kVendorName)
             : 0;
}

int32_t NapiCommand::Reserved1() { return 0; }
int32_t NapiCommand::Reserved2() { return 1; }
bool NapiCommand::Reserved3(int32_t, int32_t, int32_t) { return NotImplemented(); }
int32_t NapiCommand::Reserved4(int32_t, int32_t, int32_t) { return NotImplementedNumber(); }

int32_t NapiCommand::GetErrorText(int32_t bufferSize, char* text) {
  return platform::LoadText(LastErrorCode(), text, bufferSize);
}

bool NapiCommand::SetReservedValue(int32_t value) {
  reservedValue_ = value;
  return true;
}

void NapiCommand::Release() { DeletingDestructor(1); }

bool NapiCommand::Reserved10(int32_t, int32_t, int32_t) { return false; }
int32_t NapiCommand::Reserved11() { return NotImplementedNumber(); }
int32_t NapiCommand::Reserved12() { return NotImplementedNumber(); }
bool NapiCommand::Reserved40(int32_t) { return NotImplemented(); }
bool NapiCommand::Reserved42(int32_t) { return NotImplemented(); }
bool NapiCommand::Reserved43(int32_t) { return NotImplemented(); }
bool NapiCommand::Reserved74(int32_t) { return false; }
bool NapiCommand::Reserved75(int32_t) { return false; }
bool NapiCommand::Reserved76() { return false; }
bool NapiCommand::Reserved80(int32_t, int32_t) { return NotImplemented(); }
bool NapiCommand::Reserved81(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return NotImplemented();
}
int32_t NapiCommand::Reserved82() { return 0; }
int32_t NapiCommand::Reserved83() { return 0; }
bool NapiCommand::SetAudioVolume(int32_t) { return NotImplemented(); }
int32_t NapiCommand::Reserved88() { return NotImplementedNumber(); }
bool NapiCommand::SetAudioMute(bool) { return NotImplemented(); }

// ---- Links ----------------------------------------------------------------------------------

bool NapiCommand::OpenSerialLink(int32_t portNumber) {
  if (!serialLink_.Open(portNumber)) return false;
  connectionMode_ = ConnectionModeSerial;
  return true;
}

bool NapiCommand::SetNetworkTarget(const char* ipAddress, int32_t port, const char* userName,
                                   const char* password) {
  napi::Target& target = session_.target;
  if (!AllGiven(ipAddress, userName, password)) return false;
  if (!Fits(ipAddress, target.ipAddress) || !Fits(userName, target.userName) ||
      !Fits(password, target.password)) {
    return false;
  }
  // The login sends them as options of one request text: a hyphen in either would cut it there.
  if (std::strchr(userName, '-') != nullptr || std::strchr(password, '-') != nullptr)
    return vml::RefuseArguments();
  std::strcpy(target.ipAddress, ipAddress);
  std::strcpy(target.userName, userName);
  std::strcpy(target.password, password);
  target.port = port;
  CloseLink();
  connectionMode_ = ConnectionModeNetwork;
  return true;
}

void NapiCommand::SetVideoPort(int32_t videoPort) { videoPort_ = videoPort; }

bool NapiCommand::CloseLink() {
  if (connectionMode_ == ConnectionModeSerial) serialLink_.Close();
  if (connectionMode_ == ConnectionModeNetwork) session_.channel.Close();
  connectionMode_ = ConnectionModeNone;
  SetLastErrorCode(kSuccess);
  return true;
}

bool NapiCommand::Reserved21(int32_t) { return NotImplemented(connectionMode_ == ConnectionModeSerial); }

bool NapiCommand::Reserved22(int32_t value) { return Reserved21(value); }

// ---- Dialogs --------------------------------------------------------------------------------

int32_t NapiCommand::ShowDeviceConfigDialog() { return ui::ShowDialog(ui::DialogKind::DeviceConfig, this); }
int32_t NapiCommand::ShowPtzControlDialog() { return ui::ShowDialog(ui::DialogKind::PtzControl, this); }
int32_t NapiCommand::ShowVideoSettingsDialog() { return ui::ShowDialog(ui::DialogKind::VideoSettings, this); }

// ---- The transaction, as every device operation uses it --------------------------------------

bool NapiCommand::Prepare(int32_t command, napi::TextRule rule, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  bool formatted = session_.request.FormatV(command, rule, format, arguments);
  va_end(arguments);
  return formatted || RefuseArguments();
}

bool NapiCommand::PrepareHeaderOnly(int32_t command) { return session_.request.HeaderOnly(command); }

bool NapiCommand::Transact(napi::SuccessRule rule, napi::ReplyReader read) {
  return session_.Transact(NetworkLink(), rule, read);
}

}  // namespace vml
