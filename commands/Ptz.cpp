// Moving the camera head of the current video port (command 60, an action number after "-c"),
// and the two host-only commands 51 and 52. The library never stops a movement by itself.
#include "commands/CommandSupport.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"

namespace vml {
using namespace commands;

namespace {
constexpr std::int32_t kPtz = 60;

enum PtzActionNumber : std::int32_t {
  kTiltUp = 1,
  kTiltDown = 2,
  kPanLeft = 3,
  kPanRight = 4,
  kIrisOpen = 5,
  kIrisClose = 6,
  kZoomIn = 7,
  kZoomOut = 8,
  kFocusNear = 9,
  kFocusFar = 10,
  kAutoOn = 11,
  kStop = 12,  // also switches the automatic mode off
};
}  // namespace

bool NapiCommand::PtzAction(int32_t action, napi::SuccessRule rule) {
  return Prepare(kPtz, TextRule::Plain, "-p %d -c %d", videoPort_, action) && Transact(rule);
}

// Only the sign of direction counts; zero is no movement and sends nothing, and leaves the
// result code as it was.
bool NapiCommand::Ptz(int32_t direction, int32_t positive, int32_t negative, napi::SuccessRule rule) {
  if (direction == 0) {
    session_.Begin();
    session_.Finish(VmlCmdStageArgumentRefused);
    return false;
  }
  return PtzAction(direction > 0 ? positive : negative, rule);
}

bool NapiCommand::PtzAuto(bool on) { return PtzAction(on ? kAutoOn : kStop, SuccessRule::KeepCode); }
bool NapiCommand::PtzFocus(int32_t direction) {
  return Ptz(direction, kFocusNear, kFocusFar, SuccessRule::KeepCode);
}
bool NapiCommand::PtzPan(int32_t direction) {
  return Ptz(direction, kPanRight, kPanLeft, SuccessRule::Sets9);
}
bool NapiCommand::PtzTilt(int32_t direction) {
  return Ptz(direction, kTiltUp, kTiltDown, SuccessRule::Sets9);
}
bool NapiCommand::PtzZoom(int32_t direction) { return Ptz(direction, kZoomIn, kZoomOut, SuccessRule::Sets9); }
bool NapiCommand::PtzIris(int32_t direction) {
  return Ptz(direction, kIrisOpen, kIrisClose, SuccessRule::Sets9);
}
bool NapiCommand::PtzStop() { return PtzAction(kStop, SuccessRule::Sets9); }

// The auxiliary, light and wiper switches have no device command.
bool NapiCommand::SetPtzAux(int32_t, bool) { return NotImplemented(); }
// The light and wiper leave the result code as it was, as hosts have always seen them do.
bool NapiCommand::SetPtzLight(bool) { return NotImplemented(false); }
bool NapiCommand::SetPtzWiper(bool) { return NotImplemented(false); }

bool NapiCommand::SendCommand51(int32_t p, const char* t, const char* a, int32_t o) {
  return SendCommand5x(51, p, t, a, o);
}

bool NapiCommand::SendCommand52(int32_t p, const char* t, const char* a, int32_t o) {
  return SendCommand5x(52, p, t, a, o);
}

// The library knows nothing of these commands' options: their texts go as given, so a host may
// carry further options in them, and a hyphen is not refused here.
bool NapiCommand::SendCommand5x(int32_t command, int32_t p, const char* t, const char* a, int32_t o) {
  if (!AllGiven(t, a)) return RefuseArguments();
  return Prepare(command, TextRule::Plain, "-p %d -t %s -a %s -o %d", p, t, a, o) &&
         Transact(SuccessRule::Sets9);
}

}  // namespace vml
