// Feeds arbitrary device replies to every reply reader, as the transaction hands them over: a
// cleared 300-byte buffer holding at most 299 received bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "napi/Message.h"
#include "napi/ReplyReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vml::napi;
  std::uint8_t buffer[kReplyBufferSize] = {};
  std::size_t received = size < kReplyReceiveLimit ? size : kReplyReceiveLimit;
  std::memcpy(buffer, data, received);
  ReplyView reply{buffer, received};

  char output[16];
  (void)reply.Status();
  for (char letter : {'a', 'b', 'g', 'i', 'l', 'm', 'p', 't', 'w'}) {
    if (auto value = TokenText(reply.AnnouncedText(), letter)) CopyValue(*value, output, sizeof output);
    (void)LetterNumber(reply.Text(), letter);
  }
  ForEachToken(reply.AnnouncedText(), [&](std::string_view token) {
    (void)ReadNumber(token.substr(1));
    CopyValue(TokenValue(token), output, sizeof output);
  });
  (void)ReadPortOneValue(reply.Text());
  return 0;
}
