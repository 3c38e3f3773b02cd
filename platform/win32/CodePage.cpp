// The device's code page through the system's conversions, by way of UTF-16.
#include <windows.h>

#include <climits>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

// Request texts are at most 255 bytes and replies 299, so this holds every text that can fit.
constexpr int kWideCapacity = 1024;

int Convert(UINT from, DWORD fromFlags, UINT to, DWORD toFlags, bool checkDefault, const char* text,
            char* out, std::size_t capacity) {
  if (text == nullptr || out == nullptr || capacity < 1) return -1;
  out[0] = '\0';
  wchar_t wide[kWideCapacity];
  int units = MultiByteToWideChar(from, fromFlags, text, -1, wide, kWideCapacity);
  if (units <= 0) return -1;
  const int room = capacity > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
  BOOL usedDefault = FALSE;
  int bytes = WideCharToMultiByte(to, toFlags, wide, units, out, room, nullptr,
                                  checkDefault ? &usedDefault : nullptr);
  if (bytes <= 0 || usedDefault) {
    out[0] = '\0';
    return -1;
  }
  return bytes - 1;  // the NUL was converted with the text
}

}  // namespace

int Utf8ToDeviceText(int codePage, const char* text, char* out, std::size_t capacity) {
  // Invalid UTF-8 fails, and so does a character the code page would replace by a guess. UTF-8
  // itself takes neither flag of the second step (the system refuses them for it).
  const bool utf8 = codePage == kUtf8CodePage;
  return Convert(CP_UTF8, MB_ERR_INVALID_CHARS, static_cast<UINT>(codePage), utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                 !utf8, text, out, capacity);
}

int DeviceTextToUtf8(int codePage, const char* text, char* out, std::size_t capacity, bool strict) {
  // Without MB_ERR_INVALID_CHARS an undefined byte becomes U+FFFD.
  return Convert(static_cast<UINT>(codePage), strict ? MB_ERR_INVALID_CHARS : 0, CP_UTF8, 0, false, text, out,
                 capacity);
}

}  // namespace vml::platform
