#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Terminal.h"

namespace vmlctl {

void PrepareTerminal() {}

bool OutputOpen() { return ::fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF; }

bool PrepareProgressDisplay() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace vmlctl
