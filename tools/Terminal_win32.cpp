#include <windows.h>

#include <cstdlib>
#include <string>

#include "Terminal.h"

namespace vmlctl {
namespace {

UINT savedOutputCodePage = 0;

void RestoreOutputCodePage() {
  if (savedOutputCodePage != 0) ::SetConsoleOutputCP(savedOutputCodePage);
}

std::wstring Widen(const char* text, UINT codePage) {
  const int length = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

}  // namespace

std::string LibraryTextToUtf8(const char* text) {
  const std::wstring wide = Widen(text, CP_ACP);
  if (wide.empty()) return std::string();
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), length, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(length - 1));
  return utf8;
}

void PrepareTerminal() {
  // Only a console needs telling; output into a pipe or a file stays UTF-8 bytes as written.
  DWORD mode = 0;
  if (!::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
  const UINT current = ::GetConsoleOutputCP();
  if (current == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) return;
  savedOutputCodePage = current;
  std::atexit(RestoreOutputCodePage);
}

bool PrepareProgressDisplay() {
  // A console redraws the bar only with its virtual-terminal processing on.
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(error, &mode)) return false;
  return ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace vmlctl
