#include <unistd.h>

#include "Terminal.h"

namespace vmlctl {

// On Linux the library's texts are UTF-8 already, and terminals take UTF-8.
std::string LibraryTextToUtf8(const char* text) { return text; }

void PrepareTerminal() {}

bool PrepareProgressDisplay() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace vmlctl
