// The privacy-mask and motion-detection rectangles (29 write both, 30 read mask, 28 read
// motion) and the on-screen caption and clock (25 write, 26 read) of the current video port.
#include "commands/CommandSupport.h"
#include "core/NapiCommand.h"

namespace vml {
using namespace commands;

namespace {
constexpr std::int32_t kReadMotion = 28;
constexpr std::int32_t kWriteRegion = 29;
constexpr std::int32_t kReadMask = 30;
constexpr std::int32_t kWriteOverlay = 25;
constexpr std::int32_t kReadOverlay = 26;

// Reads letters in order with the letter reader; stops at the first one missing, leaving the
// outputs already written as they are.
bool ReadFlagAndNumbers(const napi::ReplyView& reply, char flagLetter, bool* flag, const char* letters,
                        std::int32_t* const* outputs) {
  auto value = reply.Number(flagLetter);
  if (!value) return false;
  *flag = *value != 0;
  for (; *letters != '\0'; ++letters, ++outputs) {
    value = reply.Number(*letters);
    if (!value) return false;
    **outputs = *value;
  }
  return true;
}
}  // namespace

bool NapiCommand::SetMaskRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                                int32_t) {
  return Prepare(kWriteRegion, TextRule::Plain, "-p %d -b %d -l %d -t %d -w %d -h %d", videoPort_,
                 Flag(enabled), left, top, width, height) &&
         Transact(SuccessRule::KeepCode);
}

bool NapiCommand::GetMaskRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                                int32_t) {
  if (!AllGiven(enabled, left, top, width, height)) return RefuseArguments();
  std::int32_t* const outputs[] = {left, top, width, height};
  return Prepare(kReadMask, TextRule::Plain, "-p %d", videoPort_) &&
         Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
           return ReadFlagAndNumbers(reply, 'b', enabled, "ltwh", outputs);
         });
}

// Same command as the mask: the added "-d" makes it the motion area.
bool NapiCommand::SetMotionRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                                  int32_t sensitivity, int32_t) {
  return Prepare(kWriteRegion, TextRule::Plain, "-p %d -b %d -l %d -t %d -w %d -h %d -d %d", videoPort_,
                 Flag(enabled), left, top, width, height, sensitivity) &&
         Transact(SuccessRule::KeepCode);
}

bool NapiCommand::GetMotionRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                                  int32_t* sensitivity, int32_t) {
  if (!AllGiven(enabled, left, top, width, height, sensitivity)) return RefuseArguments();
  std::int32_t* const outputs[] = {left, top, width, height, sensitivity};
  return Prepare(kReadMotion, TextRule::Plain, "-p %d", videoPort_) &&
         Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
           return ReadFlagAndNumbers(reply, 'b', enabled, "ltwhd", outputs);
         });
}

// The setters take the position as list index 0..7; the device numbers positions 1..8.
bool NapiCommand::SetOsdCaption(bool show, int32_t positionIndex, const char* caption) {
  if (!Carriable(caption)) return RefuseArguments();
  return Prepare(kWriteOverlay, TextRule::Plain, "-p %d -g %d -l %d -w %s", videoPort_, Flag(show),
                 Shift(positionIndex, 1), caption) &&
         Transact(SuccessRule::KeepCode);
}

bool NapiCommand::GetOsdCaption(bool* show, int32_t* position, char* caption) {
  return GetOsdCaptionBounded(show, position, caption, VMLCMD_CAPTION_BUFFER_SIZE);
}

// Token reading, last token of a letter wins; the numbers are read from the token's second
// character on, and the caption keeps the blanks before the next hyphen.
bool NapiCommand::GetOsdCaptionBounded(bool* show, int32_t* position, char* caption,
                                       std::size_t captionSize) {
  if (!AllGiven(show, position, caption) || captionSize == 0) return RefuseArguments();
  return Prepare(kReadOverlay, TextRule::Plain, "-p %d", videoPort_) &&
         Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
           napi::ForEachToken(reply.AnnouncedText(), [&](std::string_view token) {
             if (token[0] == 'g') *show = napi::ReadNumber(token.substr(1)) != 0;
             if (token[0] == 'l') *position = napi::ReadNumber(token.substr(1));
             if (token[0] == 'w') napi::CopyValue(napi::TokenValue(token), caption, captionSize);
           });
           return true;
         });
}

bool NapiCommand::SetOsdTime(bool show, int32_t positionIndex) {
  return Prepare(kWriteOverlay, TextRule::Plain, "-p %d -o %d -t %d", videoPort_, Flag(show),
                 Shift(positionIndex, 1)) &&
         Transact(SuccessRule::KeepCode);
}

bool NapiCommand::GetOsdTime(bool* show, int32_t* position) {
  if (!AllGiven(show, position)) return RefuseArguments();
  return Prepare(kReadOverlay, TextRule::Plain, "-p %d", videoPort_) &&
         Transact(SuccessRule::Sets9, [&](const napi::ReplyView& reply) {
           return ReadFlagAndNumbers(reply, 'o', show, "t", &position);
         });
}

}  // namespace vml
