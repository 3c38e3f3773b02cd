// The device's code page through iconv, which glibc carries as part of the C library.
#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One conversion of a NUL-terminated text. lenient: an undefined input byte becomes U+FFFD
// instead of failing the whole text.
int Convert(const char* to, const char* from, const char* text, char* out, std::size_t capacity,
            bool lenient) {
  if (text == nullptr || out == nullptr || capacity < 1) return -1;
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return -1;
  char* in = const_cast<char*>(text);  // iconv's prototype is not const-correct
  std::size_t inLeft = std::strlen(text);
  char* next = out;
  std::size_t outLeft = capacity - 1;
  bool ok = true;
  while (ok && inLeft > 0) {
    std::size_t converted = iconv(converter, &in, &inLeft, &next, &outLeft);
    if (converted != static_cast<std::size_t>(-1)) {
      // A count above 0 means characters were replaced by guesses: not what was given.
      ok = converted == 0 || lenient;
      break;
    }
    if (!lenient || errno == E2BIG || outLeft < sizeof kReplacement - 1) {
      ok = false;
      break;
    }
    std::memcpy(next, kReplacement, sizeof kReplacement - 1);
    next += sizeof kReplacement - 1;
    outLeft -= sizeof kReplacement - 1;
    ++in;
    --inLeft;
  }
  if (ok) ok = iconv(converter, nullptr, nullptr, &next, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  if (!ok) {
    out[0] = '\0';
    return -1;
  }
  *next = '\0';
  return static_cast<int>(next - out);
}

// iconv's name of a Windows code page number.
struct CodePageName {
  explicit CodePageName(int codePage) {
    if (codePage == kUtf8CodePage) {
      std::snprintf(text, sizeof text, "UTF-8");
    } else {
      std::snprintf(text, sizeof text, "CP%d", codePage);
    }
  }
  char text[16];
};

}  // namespace

int Utf8ToDeviceText(int codePage, const char* text, char* out, std::size_t capacity) {
  return Convert(CodePageName(codePage).text, "UTF-8", text, out, capacity, false);
}

int DeviceTextToUtf8(int codePage, const char* text, char* out, std::size_t capacity, bool strict) {
  return Convert("UTF-8", CodePageName(codePage).text, text, out, capacity, !strict);
}

}  // namespace vml::platform
