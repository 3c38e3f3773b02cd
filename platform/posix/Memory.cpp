#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Platform.h"

namespace vml::platform {

// The kernel checks the destination of a read() and reports EFAULT instead of faulting, so the
// bytes travel through a pipe: an unwritable buffer becomes an error, not a crash.
bool GuardedCopy(void* destination, const void* source, std::size_t length) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  bool copied = false;
  if (::write(ends[1], source, length) == static_cast<ssize_t>(length)) {
    ssize_t got;
    do {
      got = ::read(ends[0], destination, length);
    } while (got < 0 && errno == EINTR);
    copied = got == static_cast<ssize_t>(length);
  }
  ::close(ends[0]);
  ::close(ends[1]);
  return copied;
}

}  // namespace vml::platform
