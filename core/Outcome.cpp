// The per-object outcome and the texts of its stages, exported beside the table.
#include <cstring>

#include "VmlCmd/ICommand.h"
#include "core/NapiCommand.h"
#include "core/Outcome.h"
#include "platform/Platform.h"
#include "ui/resource.h"

namespace {

const char* const kEnglishStageTexts[] = {
    "no operation yet",
    "success",
    "no network target set",
    "argument refused before sending",
    "address is not a dotted-quad IPv4 address",
    "connection refused",
    "no connection within 100 ms",
    "connection failed",
    "login refused",
    "request not sent",
    "no reply within 1 s",
    "device closed the connection",
    "receive failed",
    "device refused the request",
    "reply lacks a value",
    "not implemented",
    "not a NAPI device",
};
static_assert(sizeof kEnglishStageTexts / sizeof kEnglishStageTexts[0] == VmlCmdStageCount);

// The record as a host of this header sees it; an older, smaller one gets its first fields.
VmlCmdOutcome ToRecord(const vml::napi::Outcome& outcome) {
  VmlCmdOutcome record{};
  record.size = sizeof record;
  record.stage = outcome.stage;
  record.resultCode = outcome.resultCode;
  record.status = outcome.status;
  record.exchange = outcome.exchange;
  record.systemError = outcome.systemError;
  record.elapsedMicroseconds = outcome.elapsedMicroseconds;
  record.letter = outcome.letter;
  record.replyMagic = outcome.replyMagic;
  return record;
}

}  // namespace

namespace vml {

const char* EnglishStageText(std::int32_t stage) {
  return stage >= 0 && stage < VmlCmdStageCount ? kEnglishStageTexts[stage] : nullptr;
}

}  // namespace vml

extern "C" {

VMLCMD_API bool VmlCmdGetLastOutcome(ICommand* command, VmlCmdOutcome* outcome) {
  constexpr std::size_t kLeast = sizeof(uint32_t) + sizeof(int32_t);
  if (command == nullptr || outcome == nullptr || outcome->size < kLeast) return false;
  VmlCmdOutcome record = ToRecord(static_cast<vml::NapiCommand*>(command)->LastOutcome());
  std::size_t size = outcome->size < sizeof record ? outcome->size : sizeof record;
  record.size = outcome->size;  // the caller's size stays: it says what the caller has room for
  std::memcpy(outcome, &record, size);
  return true;
}

VMLCMD_API int32_t VmlCmdGetStageText(int32_t stage, int32_t language, char* buffer, int32_t bufferSize) {
  if (buffer == nullptr || bufferSize < 1) return 0;
  buffer[0] = '\0';
  if (stage < 0 || stage >= VmlCmdStageCount) return 0;
  if (language == 1) return vml::platform::LoadText(IDS_STAGE_BASE + stage, buffer, bufferSize);
  if (language != 0) return 0;
  const char* text = vml::EnglishStageText(stage);
  std::size_t length = std::strlen(text);
  if (length > static_cast<std::size_t>(bufferSize) - 1) length = static_cast<std::size_t>(bufferSize) - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length);
}
}
