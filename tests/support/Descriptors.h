// Counts this process's open file descriptors, to catch sockets and ports left open.
#pragma once

#include <dirent.h>

inline int OpenDescriptors() {
  int count = 0;
  if (DIR* directory = ::opendir("/proc/self/fd")) {
    while (::readdir(directory) != nullptr) ++count;
    ::closedir(directory);
  }
  return count;
}
