// Copies into memory the host handed over without trusting it to be writable. The region is
// checked first, so a read-only buffer is refused with nothing written; the copy itself goes
// through WriteProcessMemory, which reports a page that changed under us instead of faulting.
#include <windows.h>

#include <cstdint>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

bool IsWritable(const void* destination, std::size_t length) {
  auto address = reinterpret_cast<std::uintptr_t>(destination);
  const std::uintptr_t end = address + length;
  if (end < address) return false;  // wraps around the address space
  while (address < end) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return false;
    // A guard page would raise an exception on the first touch.
    if (region.State != MEM_COMMIT || (region.Protect & kWritable) == 0 ||
        (region.Protect & PAGE_GUARD) != 0) {
      return false;
    }
    address = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return true;
}

}  // namespace

bool GuardedCopy(void* destination, const void* source, std::size_t length) {
  if (destination == nullptr || source == nullptr) return false;
  if (length == 0) return true;
  // WriteProcessMemory alone is not enough: on Windows it lifts a read-only protection and
  // writes anyway.
  if (!IsWritable(destination, length)) return false;
  SIZE_T written = 0;
  return ::WriteProcessMemory(::GetCurrentProcess(), destination, source, length, &written) != FALSE &&
         written == length;
}

}  // namespace vml::platform
