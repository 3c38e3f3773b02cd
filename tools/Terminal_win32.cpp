#include <windows.h>

#include <cstdlib>

#include "Terminal.h"

namespace vmlctl {
namespace {

UINT savedOutputCodePage = 0;

void RestoreOutputCodePage() {
  if (savedOutputCodePage != 0) ::SetConsoleOutputCP(savedOutputCodePage);
}

}  // namespace

bool OutputOpen() {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return output != nullptr && output != INVALID_HANDLE_VALUE;
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
