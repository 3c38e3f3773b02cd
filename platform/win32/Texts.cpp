// The string table is a resource of the module (ui/VmlCmd.rc), stored as UTF-16 and handed
// out in the host's ANSI code page.
#include <windows.h>

#include "platform/Platform.h"
#include "platform/win32/Module.h"

namespace vml::platform {

int LoadText(int id, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize < 1) return 0;
  buffer[0] = '\0';
  if (id < 0 || id > 0xFFFF) return 0;
  // With a zero size LoadStringW points at the resource itself; nothing is copied yet.
  const wchar_t* text = nullptr;
  int length =
      ::LoadStringW(win32::ModuleHandle(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return 0;

  // Converted one character at a time so a text that does not fit is cut before a whole
  // character, never inside a double-byte one; LoadStringA leaves the cut to the conversion.
  int used = 0;
  const int room = bufferSize - 1;
  for (int i = 0; i < length;) {
    int units = IS_HIGH_SURROGATE(text[i]) && i + 1 < length ? 2 : 1;
    char bytes[8];
    int size = ::WideCharToMultiByte(CP_ACP, 0, text + i, units, bytes, static_cast<int>(sizeof bytes),
                                     nullptr, nullptr);
    if (size <= 0 || used + size > room) break;
    for (int b = 0; b < size; ++b) buffer[used + b] = bytes[b];
    used += size;
    i += units;
  }
  buffer[used] = '\0';
  return used;
}

}  // namespace vml::platform
