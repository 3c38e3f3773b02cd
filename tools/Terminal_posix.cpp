#include <unistd.h>

#include "Terminal.h"

namespace vmlctl {

void PrepareTerminal() {}

bool PrepareProgressDisplay() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace vmlctl
