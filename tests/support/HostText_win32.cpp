#include <windows.h>

#include <stdexcept>
#include <string>

#include "support/HostText.h"

namespace vml::testing {

// Through UTF-16, as the library's string table goes from its UTF-16 resource to the host.
std::string HostText(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int utf8Length = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8Length, nullptr, 0);
  if (units <= 0) throw std::invalid_argument("HostText: not UTF-8");
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8Length, wide.data(), units);
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string host(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, host.data(), bytes, nullptr, nullptr);
  return host;
}

}  // namespace vml::testing
