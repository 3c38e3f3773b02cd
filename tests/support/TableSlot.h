// The table position the compiler gave an operation, read from a pointer to it.
#pragma once

#include <cstddef>
#include <cstring>

namespace vmltest {

// Under the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte offset of
// its table entry.
template <class Member>
std::ptrdiff_t SlotOf(Member member) {
  struct Representation {
    std::ptrdiff_t pointer;
    std::ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(Member) == sizeof(Representation));
  std::memcpy(&representation, &member, sizeof representation);
  return (representation.pointer - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

}  // namespace vmltest
