// Encoder parameters (commands 31 write, 32 read) and picture adjustment (21 write, 22 read, 23
// combined write) of the current video port, one value at a time or all at once.
//
// Contrast, saturation and hue travel 128 below the 0..255 scale of the single-value operations;
// the combined operations exchange device values as they travel.
#include "commands/CommandSupport.h"
#include "core/NapiCommand.h"
#include "core/ResultCode.h"

namespace vml {
using namespace commands;

namespace {
constexpr std::int32_t kWritePicture = 21;
constexpr std::int32_t kReadPicture = 22;
constexpr std::int32_t kWritePictureAll = 23;
constexpr std::int32_t kWriteEncoder = 31;
constexpr std::int32_t kReadEncoder = 32;
constexpr std::int32_t kPictureOffset = 128;

constexpr char kPictureFormat[] = "-p %d -b %d -c %d -s %d -h %d ";
constexpr char kEncoderFormat[] = "-p %d -r %d -f %d -b %d -q %d -i %d";

// Fills fields from a reply in order, stopping at the first missing letter: the fields read
// before it keep their new values.
struct Field {
  char letter;
  std::int32_t* target;
};
template <std::size_t Count>
bool ReadFields(const napi::ReplyView& reply, const Field (&fields)[Count]) {
  for (const Field& field : fields) {
    auto value = reply.Number(field.letter);
    if (!value) return false;
    *field.target = *value;
  }
  return true;
}
}  // namespace

int32_t NapiCommand::ReadOne(int32_t command, char letter, napi::SuccessRule rule, int32_t offset) {
  int32_t value = 0;
  bool ok = Prepare(command, TextRule::Plain, "-p %d", videoPort_) &&
            Transact(rule, [&](const napi::ReplyView& reply) {
              auto found = reply.Number(letter);
              if (found) value = *found;
              return found.has_value();
            });
  // The offset applies to a value read, never to the 0 of a failure.
  return ok ? Shift(value, offset) : 0;
}

// ---- Encoder ------------------------------------------------------------------------------

bool NapiCommand::SetVideoBitrate(int32_t bitrate) {
  return Prepare(kWriteEncoder, TextRule::CountedNul, "-p %d -b %d", videoPort_, bitrate) &&
         Transact(SuccessRule::Sets9);
}
int32_t NapiCommand::GetVideoBitrate() { return ReadOne(kReadEncoder, 'b', SuccessRule::Sets9); }

bool NapiCommand::SetVideoFrameRate(int32_t frameRate) {
  return Prepare(kWriteEncoder, TextRule::Plain, "-p %d -f %d", videoPort_, frameRate) &&
         Transact(SuccessRule::Sets9);
}
int32_t NapiCommand::GetVideoFrameRate() { return ReadOne(kReadEncoder, 'f', SuccessRule::Sets9); }

bool NapiCommand::SetVideoIFrameInterval(int32_t interval) {
  return Prepare(kWriteEncoder, TextRule::Plain, "-p %d -i %d", videoPort_, interval) &&
         Transact(SuccessRule::Sets9);
}
int32_t NapiCommand::GetVideoIFrameInterval() { return ReadOne(kReadEncoder, 'i', SuccessRule::Sets9); }

bool NapiCommand::SetVideoParamR(int32_t value) {
  return Prepare(kWriteEncoder, TextRule::CountedNul, "-p %d -r %d", videoPort_, value) &&
         Transact(SuccessRule::KeepCode);
}
int32_t NapiCommand::GetVideoParamR() { return ReadOne(kReadEncoder, 'r', SuccessRule::Sets9); }

bool NapiCommand::SetVideoQuantStep(int32_t quantStep) {
  return Prepare(kWriteEncoder, TextRule::Plain, "-p %d -q %d", videoPort_, quantStep) &&
         Transact(SuccessRule::Sets9);
}
int32_t NapiCommand::GetVideoQuantStep() { return ReadOne(kReadEncoder, 'q', SuccessRule::Sets9); }

// The one encoder operation whose video port is an argument (and comes second).
bool NapiCommand::SetVideoParamT(const char* valueText, int32_t videoPortNumber) {
  if (!Carriable(valueText)) return RefuseArguments();
  return Prepare(kWriteEncoder, TextRule::Plain, "-p %d -t %s", videoPortNumber, valueText) &&
         Transact(SuccessRule::Sets9);
}

// ---- Picture ------------------------------------------------------------------------------

bool NapiCommand::SetBrightness(int32_t brightness) {
  return Prepare(kWritePicture, TextRule::Plain, "-p %d -b %d", videoPort_, brightness) &&
         Transact(SuccessRule::KeepCode);
}
int32_t NapiCommand::GetBrightness() { return ReadOne(kReadPicture, 'b', SuccessRule::KeepCode); }

bool NapiCommand::SetContrast(int32_t contrast) {
  return Prepare(kWritePicture, TextRule::Plain, "-p %d -c %d", videoPort_,
                 Shift(contrast, -kPictureOffset)) &&
         Transact(SuccessRule::KeepCode);
}
int32_t NapiCommand::GetContrast() {
  return ReadOne(kReadPicture, 'c', SuccessRule::KeepCode, kPictureOffset);
}

bool NapiCommand::SetSaturation(int32_t saturation) {
  return Prepare(kWritePicture, TextRule::Plain, "-p %d -s %d", videoPort_,
                 Shift(saturation, -kPictureOffset)) &&
         Transact(SuccessRule::KeepCode);
}
int32_t NapiCommand::GetSaturation() {
  return ReadOne(kReadPicture, 's', SuccessRule::KeepCode, kPictureOffset);
}

bool NapiCommand::SetHue(int32_t hue) {
  return Prepare(kWritePicture, TextRule::Plain, "-p %d -h %d", videoPort_, Shift(hue, -kPictureOffset)) &&
         Transact(SuccessRule::Sets9);
}
int32_t NapiCommand::GetHue() { return ReadOne(kReadPicture, 'h', SuccessRule::Sets9, kPictureOffset); }

// ---- All at once --------------------------------------------------------------------------

// A non-zero status of either exchange fails the operation without touching the result code,
// and nothing is undone: a picture write that succeeded stays written.
bool NapiCommand::TwoExchanges(napi::FunctionRef<void()> preparePicture, napi::ReplyReader readPicture,
                               napi::FunctionRef<void()> prepareEncoder, napi::ReplyReader readEncoder) {
  if (!session_.EnsureLogin(NetworkLink())) return false;
  preparePicture();
  if (!session_.Exchange(napi::StatusRule::Ignore) || !session_.Read(readPicture)) return false;
  prepareEncoder();
  if (!session_.Exchange(napi::StatusRule::Ignore) || !session_.Read(readEncoder)) return false;
  return session_.Succeed(napi::SuccessRule::Sets9);
}

bool NapiCommand::GetVideoSettings(VideoSettings* settings) {
  if (settings == nullptr) return RefuseArguments();
  VideoSettings& s = *settings;
  const Field picture[] = {{'b', &s.brightness}, {'c', &s.contrast}, {'s', &s.saturation}, {'h', &s.hue}};
  const Field encoder[] = {{'r', &s.paramR},    {'f', &s.frameRate},      {'b', &s.bitrate},
                           {'q', &s.quantStep}, {'i', &s.iFrameInterval}, {'t', &s.paramT}};
  return TwoExchanges([&] { Prepare(kReadPicture, TextRule::Plain, "-p %d", videoPort_); },
                      [&](const napi::ReplyView& reply) { return ReadFields(reply, picture); },
                      [&] { Prepare(kReadEncoder, TextRule::Plain, "-p %d", videoPort_); },
                      [&](const napi::ReplyView& reply) { return ReadFields(reply, encoder); });
}

bool NapiCommand::SetVideoSettings(const VideoSettings* settings) {
  if (settings == nullptr) return RefuseArguments();
  const VideoSettings& s = *settings;
  return TwoExchanges(
      [&] {
        Prepare(kWritePictureAll, TextRule::Plain, kPictureFormat, videoPort_, s.brightness, s.contrast,
                s.saturation, s.hue);
      },
      {},
      [&] {
        Prepare(kWriteEncoder, TextRule::Plain, kEncoderFormat, videoPort_, s.paramR, s.frameRate, s.bitrate,
                s.quantStep, s.iFrameInterval);
      },
      {});
}

bool NapiCommand::RestoreVideoDefaults() {
  return TwoExchanges(
      [&] { Prepare(kWritePicture, TextRule::Plain, kPictureFormat, videoPort_, 128, 71, 64, 0); }, {},
      [&] { Prepare(kWriteEncoder, TextRule::Plain, kEncoderFormat, videoPort_, 1, 25, 512, 31, 100); }, {});
}

}  // namespace vml
